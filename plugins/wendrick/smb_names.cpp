// SMB command names, error classes and the error codes of each class.
#include "wendrick.h"

namespace wendrick {

namespace {

constexpr qv::Name kCommands[] = {
    {0x00, "Create Directory"},
    {0x01, "Delete Directory"},
    {0x02, "Open File"},
    {0x03, "Create file"},
    {0x04, "Close File"},
    {0x05, "Flush File"},
    {0x06, "Delete File"},
    {0x07, "Rename File"},
    {0x08, "Get File Attributes"},
    {0x09, "Set File Attributes"},
    {0x0A, "Read from File"},
    {0x0B, "Write to File"},
    {0x0C, "Lock Byte Range"},
    {0x0D, "Unlock Byte Range"},
    {0x0E, "Create Temporary File"},
    {0x0F, "Make New File"},
    {0x10, "Check Directory Path"},
    {0x11, "Process Exit"},
    {0x12, "Seek"},
    {0x13, "Lock then Read Data"},
    {0x14, "Write then Unlock Data"},
    {0x1A, "Read Block Raw"},
    {0x1B, "Read Block Multiplexed"},
    {0x1C, "Read Block Secondary Response"},
    {0x1D, "Write Block Raw"},
    {0x1E, "Write Block Multiplexed"},
    {0x1F, "Write Block Secondary Request"},
    {0x20, "Write Complete Response"},
    {0x22, "Set File Attributes Extended"},
    {0x23, "Get File Attributes Extended"},
    {0x24, "Lock/Unlock Byte Ranges and X"},
    {0x25, "Transaction"},
    {0x26, "Trasaction Secondary Request/Response"},
    {0x27, "IOCTL"},
    {0x28, "IOCTL Secondary Request/Response"},
    {0x29, "Copy"},
    {0x2A, "Move"},
    {0x2B, "Echo"},
    {0x2C, "Write and Close"},
    {0x2D, "Open and X"},
    {0x2E, "Read and X"},
    {0x2F, "Write and X"},
    {0x31, "Close and Tree Disconnect"},
    {0x32, "Transaction 2"},
    {0x33, "Transaction 2 Secondary"},
    {0x34, "Find Close"},
    {0x35, "Find Notify Close"},
    {0x70, "Tree Connect"},
    {0x71, "Tree Disconnect"},
    {0x72, "Negotiate Protocol"},
    {0x73, "Session Setup and X"},
    {0x74, "User Log Off and X"},
    {0x75, "Tree Connect and X"},
    {0x80, "Get Disk Attributes"},
    {0x81, "Search Directory"},
    {0x82, "Find First"},
    {0x83, "Find Unique"},
    {0x84, "Find Close 2"},
    {0xA0, "NT Transaction"},
    {0xA1, "NT Transaction Secondary"},
    {0xA2, "NT Create and X"},
    {0xA4, "NT Cancel"},
    {0xC0, "Open Print Spool File"},
    {0xC1, "Write to Print Spool File"},
    {0xC2, "Close Print Spool File"},
    {0xC3, "Return Print Queue"},
    {0xD0, "Send Single Block Message"},
    {0xD1, "Send Broadcast Message"},
    {0xD2, "Forward User Name"},
    {0xD3, "Cancel Forward"},
    {0xD4, "Get Machine Name"},
    {0xD5, "Send Start of Multi-Block Message"},
    {0xD6, "Send End of Multi-Block Message"},
    {0xD7, "Send Text of Multi-Block Message"},
    {0xD8, "Read Bulk"},
    {0xD9, "Write Bulk"},
    {0xDA, "Write Bulk Data"},
    {0xFF, "None"},
};
constexpr qv::NameTable kCommandNames(kCommands, "Unknown Function");

constexpr qv::Name kClasses[] = {
    {0, "Success"}, {1, "Server OS"}, {2, "Server File System"}, {3, "Hardware"},           {4, "Xenix"},
    {0xE1, "iRMX"}, {0xE2, "iRMX"},   {0xE3, "iRMX"},            {0xFF, "Incorrect SMB format"},
};
constexpr qv::NameTable kClassNames(kClasses, "Unknown");

// Codes that read the same in every class.
constexpr qv::Name kAnyClass[] = {
    {0, "Success"},
    {84, "Message has been buffered"},
    {85, "Message has been logged"},
    {86, "Message displayed"},
};
constexpr qv::NameTable kAnyClassCodes(kAnyClass, nullptr);

constexpr qv::Name kDos[] = {
    {1, "Invalid function"},
    {2, "File not found"},
    {3, "Invalid directory"},
    {4, "Too many open files"},
    {5, "Access denied"},
    {6, "Invalid file handle"},
    {7, "Memory control blocks destroyed"},
    {8, "Insufficient server memory"},
    {9, "Invalid memory block address"},
    {10, "Invalid environment"},
    {11, "Invalid format"},
    {12, "Invalid open mode"},
    {13, "Invalid data"},
    {14, "Reserved"},
    {15, "Invalid drive specified"},
    {16, "Tried to delete current directory"},
    {17, "Not the same device"},
    {18, "No more matches for file search"},
    {32, "Share mode incompatible with mode"},
    {33, "Invalid lock request"},
    {80, "File named already exists"},
    {230, "Pipe invalid"},
    {231, "All instances of requested pipe busy"},
    {232, "Pipe close in progress"},
    {233, "No process on other end of pipe"},
    {234, "More data to return"},
};

constexpr qv::Name kServer[] = {
    {1, "Non-specific error"},
    {2, "Bad password"},
    {3, "Reserved"},
    {4, "Requester does not have access rights"},
    {5, "Tree ID invalid in command"},
    {6, "Invalid name given in tree connect"},
    {7, "Invalid device"},
    {49, "Print queue full (files)"},
    {50, "Print queue full (no space)"},
    {51, "EOF on print queue dump"},
    {52, "Invalid print file FID"},
    {64, "Command not recognized"},
    {65, "Internal server error"},
    {66, "Invalid bid"},
    {67, "FID and pathname parameters invalid"},
    {68, "Reserved"},
    {69, "Server cannot set requested attribute"},
    {70, "Reserved"},
    {71, "Invalid attribute mode"},
    {81, "Server is paused"},
    {82, "Not receiving messages"},
    {83, "No room to buffer message"},
    {87, "Too many remote user names"},
    {88, "Operation timed out"},
    {89, "No resources currently available"},
    {90, "Too many UIDs active on this session"},
    {91, "Invalid UID"},
    {250, "Unable to support raw, use mpx mode"},
    {251, "Unable to support raw, use standard I/O"},
    {252, "Continue in mpx mode"},
    {253, "Reserved"},
    {254, "Reserved"},
    {0xFFFF, "Function not supported"},
};

constexpr qv::Name kHardware[] = {
    {19, "Write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Invalid disk command"},
    {23, "Data error (CRC)"},
    {24, "Bad request structure length"},
    {25, "Seek error"},
    {26, "Unknown media type"},
    {27, "Sector not found"},
    {28, "Printer out of paper"},
    {29, "Write fault"},
    {30, "Read fault"},
    {31, "General failure"},
    {32, "Open conflicts with existing open"},
    {33, "Lock request conflicts with existing lock"},
    {34, "Wrong disk found in drive"},
    {35, "No fcbs available"},
    {36, "Exceeding share buffer"},
};

constexpr qv::Name kXenix[] = {
    {3, "Invalid process"},
    {4, "Interrupted system call"},
    {8, "Bad executable file format"},
    {10, "Wait executed for procedure with no child"},
    {11, "Server's process table full"},
    {15, "Invalid file s" "pec for block device"},  // the server's own wording
    {16, "Cannot dis/mount device"},
    {20, "Directory required"},
    {21, "Tried to write on directory"},
    {23, "Internal table overflow"},
    {25, "Terminal device required"},
    {27, "File size too big"},
    {28, "No space left on device"},
    {29, "Seek issued to pipe"},
    {31, "Too many links"},
    {32, "Invalid write to pipe"},
    {33, "Bad math argument"},
    {37, "Invalid semaphore id"},
    {38, "Semaphore not available"},
    {39, "File is a semaphore"},
    {40, "Remote I/O err"},
    {41, "Could not initialize network"},
    {42, "Referenced device is remote"},
    {256, "Syntax error in pathname"},
    {257, "Requires data file"},
    {258, "Reserved"},
    {259, "Invalid access to read only file"},
    {260, "Access control list full"},
};

// The code tables of classes 1 to 4.
constexpr qv::NameTable kClassCodes[] = {
    qv::NameTable(kDos, "Unknown"),
    qv::NameTable(kServer, "Unknown"),
    qv::NameTable(kHardware, "Unknown"),
    qv::NameTable(kXenix, "Unknown"),
};

}  // namespace

const char* SmbCommandName(BYTE command) { return kCommandNames(command); }

const char* SmbErrorClassName(BYTE errorClass) { return kClassNames(errorClass); }

const char* SmbErrorCodeText(BYTE errorClass, WORD code) {
  if (const char* text = kAnyClassCodes(code)) return text;
  if (errorClass >= 1 && errorClass <= 4) return kClassCodes[errorClass - 1](code);
  return "Unknown";
}

}  // namespace wendrick
