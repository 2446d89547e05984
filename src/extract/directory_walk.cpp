#include "extract/directory_walk.h"

#include "extract/output_file.h"

namespace qm {

namespace {

// Adds a backslash unless the text is empty or ends in a backslash or colon.
void AppendBackslash(std::string &text)
{
    if (!text.empty() && text.back() != '\\' && text.back() != ':')
        text += '\\';
}

}  // namespace

DirectoryWalk::DirectoryWalk(std::string_view path) : unc_(SplitUncPath(path, work_, share_)) {}

bool DirectoryWalk::Next(std::string &directory)
{
    // Every call consumes at least one backslash of what is left, so a walk
    // ends after at most as many calls as the path has backslashes.
    for (;;) {
        const std::size_t cut = work_.find('\\');
        if (cut == std::string::npos)
            return false;
        AppendBackslash(prefix_);
        prefix_.append(work_, 0, cut);
        work_.erase(0, cut + 1);
        if (!prefix_.empty() && prefix_.back() != ':')
            break;
        prefix_ += '\\';  // a root or a drive: go on to the next component
    }
    directory.clear();
    if (unc_) {
        directory = share_;
        if (prefix_.front() == '\\')
            directory.pop_back();  // one backslash between share and level
    }
    directory += prefix_;
    return true;
}

}  // namespace qm
