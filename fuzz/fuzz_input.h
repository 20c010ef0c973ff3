// Splitting one fuzz input into several fields, for targets whose function
// under test takes more than one text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzinput {

// The input cut at every zero byte (a trailing zero adds an empty field), so
// the fields themselves never hold a zero byte.
inline std::vector<std::string> splitAtZero(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            fields.emplace_back();
        } else {
            fields.back().push_back(static_cast<char>(data[i]));
        }
    }
    return fields;
}

// Field `index`, or an empty text when the input has fewer fields.
inline std::string field(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? fields[index] : std::string();
}

}  // namespace fuzzinput
