#pragma once

#include <optional>
#include <string_view>

namespace kestrel::adserver {

// The inspector's page, script and style, built into the server so that a copied server serves them too.
std::optional<std::string_view> InspectorFile(std::string_view name);

}  // namespace kestrel::adserver
