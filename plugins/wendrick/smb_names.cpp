// SMB error classes and the error codes of each class.
#include "wendrick.h"

namespace wendrick {

namespace {

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

const char* SmbErrorClassName(BYTE errorClass) { return kClassNames(errorClass); }

const char* SmbErrorCodeText(BYTE errorClass, WORD code) {
  if (const char* text = kAnyClassCodes(code)) return text;
  if (errorClass >= 1 && errorClass <= 4) return kClassCodes[errorClass - 1](code);
  return "Unknown";
}

}  // namespace wendrick
