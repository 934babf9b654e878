#include "linespill/linelist.hpp"

#include "stream/hex.hpp"

namespace linelist {

std::optional<std::uint32_t> read_hex_number(std::string_view list_line) {
    const auto field = kit::read_hex_field(list_line, 8);
    if (!field) return std::nullopt;
    return field->value;
}

}  // namespace linelist
