# Writes OUTPUT, a C++ source holding the text of INPUT as a raw string.
file(READ ${INPUT} text)
string(FIND "${text}" ")wiasim_profile\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE ${OUTPUT} "// Generated from default_profile.json; do not edit.\n"
  "namespace wiasim::profile {\n"
  "extern const char* const kDefaultProfileText;\n"
  "const char* const kDefaultProfileText = R\"wiasim_profile(${text})wiasim_profile\";\n"
  "}  // namespace wiasim::profile\n")
