// Every call into the simulated libraries is appended, one line each, to the
// file named by GPUSIM_LOG (nothing is logged without it):
//   <unix ms> pid=<p> tid=<t> <function> <details> status=<s>
#pragma once

#include <string>

namespace gpusim {

void logCall(const char* function, const std::string& details, long status);
void logLine(const std::string& text);

} // namespace gpusim
