#include "platform/line_settings.h"

#include <charconv>
#include <vector>

namespace quill {

std::string LineSettings::text() const {
    return std::to_string(speed) + "," + parity + "," + std::to_string(dataBits) + "," +
           std::to_string(stopBits);
}

namespace {

std::optional<int> number(const std::string& word) {
    int value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || word.empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(const std::string& text) {
    std::vector<std::string> words(1);
    for (char c : text) {
        if (c == ',') {
            words.emplace_back();
        } else {
            words.back().push_back(c);
        }
    }
    if (words.size() != 4 || words[1].size() != 1) return std::nullopt;
    auto speed = number(words[0]);
    auto data = number(words[2]);
    auto stop = number(words[3]);
    char parity = words[1][0];
    if (parity >= 'a' && parity <= 'z') parity = static_cast<char>(parity - 'a' + 'A');
    if (!speed || !data || !stop || *speed <= 0) return std::nullopt;
    if (*data < 5 || *data > 8 || (*stop != 1 && *stop != 2)) return std::nullopt;
    if (parity != 'N' && parity != 'E' && parity != 'O' && parity != 'M' && parity != 'S')
        return std::nullopt;
    return LineSettings{*speed, parity, *data, *stop};
}

}  // namespace quill
