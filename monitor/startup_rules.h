// Start-up rules of Parlex that need no system call.
#pragma once

// Windows XP (5.1) and everything later pass.
inline bool monitorSystemSupported(unsigned major, unsigned minor) {
    return major > 5 || (major == 5 && minor >= 1);
}
