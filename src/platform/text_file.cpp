#include "platform/text_file.h"

#include <sys/stat.h>

namespace quill {

DiskTextFileSlot::DiskTextFileSlot() = default;

DiskTextFileSlot::~DiskTextFileSlot() {
    close();
}

bool DiskTextFileSlot::open(const std::string& path) {
    if (file_ != nullptr || path.empty()) return false;
    // A directory opens for reading on some systems; it is no program file.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    file_ = std::fopen(path.c_str(), "rb");
    return file_ != nullptr;
}

std::string DiskTextFileSlot::readLine() {
    std::string line;
    if (file_ == nullptr) return line;
    for (;;) {
        int c = std::getc(file_);
        if (c == EOF) break;
        if (c == '\n') break;
        if (c == '\r') {
            int next = std::getc(file_);
            if (next != '\n' && next != EOF) std::ungetc(next, file_);
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return line;
}

bool DiskTextFileSlot::atEnd() const {
    if (file_ == nullptr) return true;
    int c = std::getc(file_);
    if (c == EOF) return true;
    std::ungetc(c, file_);
    return false;
}

void DiskTextFileSlot::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

}  // namespace quill
