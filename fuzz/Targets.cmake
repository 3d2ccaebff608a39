# The fuzz targets, each with its committed corpus (fuzz/corpus/<dir>): the
# one list for the libFuzzer build (fuzz/CMakeLists.txt) and the corpus
# replay of the ordinary builds (tests/text.cmake).
set(VLM_FUZZ_TARGETS
  "FuzzVisibleText:visible_text"
  "FuzzJudge:judge"
  "FuzzCharSet:charset"
  "FuzzFastPaths:fast_paths"
  "FuzzIniText:ini_text"
  "FuzzRegStore:reg_store")
