// The calls by which a save of the name file reaches the disk, in one table
// so that a test can wrap them and see their order (the new file flushed
// before it is renamed into place, the folder flushed after).
#pragma once

namespace qvhost {

struct FileSteps {
  int (*sync)(int fd);
  int (*rename)(const char* from, const char* to);
};
extern FileSteps g_nameFileSteps;

}  // namespace qvhost
