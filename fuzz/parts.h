// The fuzz targets' input format: fields separated by the four bytes "\n~~\n".
// A WAVE file or a parameter text per field keeps the inputs readable and lets
// the fuzzer grow and shrink each field on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> split_fields(const std::uint8_t *data, std::size_t size)
{
    static const char sep[] = "\n~~\n";
    const std::string all(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t next = all.find(sep, at, 4);
        if (next == std::string::npos) {
            fields.push_back(all.substr(at));
            return fields;
        }
        fields.push_back(all.substr(at, next - at));
        at = next + 4;
    }
}
