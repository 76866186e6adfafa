// Start-up rules of Parlex that need no system call.
#pragma once

// Windows XP (5.1) and everything later pass.
inline bool monitorSystemSupported(unsigned major, unsigned minor) {
    return major > 5 || (major == 5 && minor >= 1);
}

// Whether the running shell (shell32's version) knows the notification record
// of Vista and later; XP's and Server 2003's (6.0.2900, 6.0.3790) know the
// records up to the V2 layout only, and refuse a larger one.
inline bool shellKnowsVistaRecord(unsigned major, unsigned minor, unsigned build) {
    return major > 6 || (major == 6 && (minor > 0 || build >= 6000));
}
