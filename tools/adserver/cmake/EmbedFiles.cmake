# cmake -DOUT=File.cpp -DDIR=folder -DFILES="a.html;b.js" -P EmbedFiles.cmake
# Writes InspectorFile(), which returns each file's text by its name.
set(entries "")
foreach(name IN LISTS FILES)
  file(READ "${DIR}/${name}" text)
  string(APPEND entries "      {\"${name}\", R\"kestrel-embedded(${text})kestrel-embedded\"},\n")
endforeach()
file(WRITE "${OUT}.new" "// Written by EmbedFiles.cmake from the inspector's files.
#include \"InspectorFiles.h\"

#include <utility>

namespace kestrel::adserver {

std::optional<std::string_view> InspectorFile(std::string_view name) {
  static constexpr std::pair<std::string_view, std::string_view> kFiles[] = {
${entries}  };
  for (const auto& [file, text] : kFiles) {
    if (file == name) return text;
  }
  return std::nullopt;
}

}  // namespace kestrel::adserver
")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
