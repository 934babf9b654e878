#include "linespill/linelist.hpp"

#include "stream/hex.hpp"

namespace linelist {

bool read_hex_number(std::string_view list_line, std::uint32_t& number) {
    const auto field = kit::read_hex_field(list_line, 8);
    if (!field) return false;
    number = field->value;
    return true;
}

}  // namespace linelist
