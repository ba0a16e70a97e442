#pragma once
// Whether a path still names the file a record writes into. An editor that
// saves by renaming a new file over the old one, a `: > file`, or a file
// deleted or moved away would otherwise take every later row with it,
// unseen, while the record still says it is recording.

#include <QString>

namespace trend {

enum class FileFate { Same, Replaced, Truncated, Gone, Unseen };

// What became of the file; `error` is the errno of a look that failed for
// another reason than the file being gone (Unseen).
struct FileState {
    FileFate fate = FileFate::Same;
    int error = 0;
};

class FileCheck {
  public:
    // Notes which file the open descriptor `fd` is.
    void take(int fd);
    // What became of that file since: `written` is how many bytes it holds
    // at least when nobody else touched it.
    FileState check(const QString& path, int fd, qint64 written) const;

  private:
    quint64 device_ = 0;
    quint64 inode_ = 0;
};

// "文件已被替换", "文件已被截断", "文件已被删除或移走", "无法查看文件：没有权限";
// empty for Same.
QString fateText(const FileState& state);

}  // namespace trend
