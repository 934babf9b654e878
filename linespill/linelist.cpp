#include "linespill/linelist.hpp"

#include "stream/hex.hpp"

namespace linelist {

std::optional<std::size_t> marker_end(std::string_view line, std::string_view marker) {
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) return std::nullopt;
    return at + marker.size();
}

void write_head(kit::Writer& out, std::uint32_t number, std::string_view name) {
    out.put_hex8(number);
    out.put('@');
    out.write(name);
    out.put('@');
}

void write_tail(kit::Writer& out, std::string_view text) {
    out.write(text);
    out.put('\n');
}

std::optional<std::uint32_t> read_number(std::string_view list_line) {
    const auto field = kit::read_hex_field(list_line, 8);
    if (!field) return std::nullopt;
    return field->value;
}

std::optional<std::string_view> block_text(std::string_view list_line) {
    const std::size_t at = list_line.rfind('@');
    if (at == std::string_view::npos) return std::nullopt;
    return list_line.substr(at + 1);
}

}  // namespace linelist
