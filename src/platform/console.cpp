#include "platform/console.h"

#include <algorithm>

namespace quill {

void ConsoleModel::insertAtCaret(std::string_view s) {
    text_.replace(caret_, selectionLength_, s);
    caret_ += s.size();
    selectionLength_ = 0;
}

void ConsoleModel::replaceText(std::string_view s) {
    text_.assign(s);
    caret_ = 0;
    selectionLength_ = 0;
}

void ConsoleModel::setCaret(size_t position) {
    caret_ = std::min(position, text_.size());
    selectionLength_ = 0;
}

void ConsoleModel::select(size_t start, size_t length) {
    caret_ = std::min(start, text_.size());
    selectionLength_ = std::min(length, text_.size() - caret_);
}

}  // namespace quill
