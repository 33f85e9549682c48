#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace quill {

// The program's one text-file slot: at most one file is open for reading at a time.
class TextFileSlot {
  public:
    virtual ~TextFileSlot() = default;
    // False when the file cannot be opened for reading (missing, a directory, no access,
    // or the slot already holds an open file).
    virtual bool open(const std::string& path) = 0;
    virtual bool isOpen() const = 0;
    // The next line without its end. A line ends at CR LF, at a lone LF or at a lone CR.
    virtual std::string readLine() = 0;
    virtual bool atEnd() const = 0;
    // Closes the open file; a slot that holds none is left alone.
    virtual void close() = 0;
};

// The slot on the host's file system.
class DiskTextFileSlot : public TextFileSlot {
  public:
    DiskTextFileSlot();
    ~DiskTextFileSlot() override;
    bool open(const std::string& path) override;
    bool isOpen() const override { return file_ != nullptr; }
    std::string readLine() override;
    bool atEnd() const override;
    void close() override;

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace quill
