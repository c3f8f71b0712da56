// Loads the drawn skin pictures of the build (resources/skinart) as the program would have
// them: the brand's images in the skin image table, the compiled-in resources in the resource
// store, the theme values and the skin fonts.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resources/embedded.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/skintheme.h"

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// True when the pictures were there.
inline bool LoadSkinArt() {
  namespace fs = std::filesystem;
  const fs::path root = KESTREL_SKIN_ART_DIR;
  const fs::path brand = root / "archive" / "Tesmur";
  if (!fs::exists(brand)) return false;
  ClearSkinImagesForTest();
  for (const auto& it : fs::recursive_directory_iterator(brand)) {
    if (!it.is_regular_file()) continue;
    AddSkinImageForTest(CString(std::string_view(fs::relative(it.path(), brand).generic_string())),
                        ReadBytes(it.path()));
  }
  RegisterEmbeddedResources();
  SetSkinThemeValues();
  InitSkinFonts();
  return true;
}
