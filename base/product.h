#pragma once

#include <string_view>

namespace quaymark {

// The program's name where our own texts give it. The texts of its original design keep
// their own spellings ("Quaymark!" as a title, "Quaymarker" in the About item, "Quay Marker"
// in the User-Agent).
inline constexpr std::string_view kProgramName = "Quaymark";

// The maker's home page: the link of the connection-problem page and the Help window's Visit.
inline constexpr std::string_view kMakerHomePage = "http://www.tolvane.example.com/";

}  // namespace quaymark
