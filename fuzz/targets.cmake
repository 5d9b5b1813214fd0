# The fuzz targets, each as <target>:<seed folder>: its seeds are fuzz/corpus/<seed folder>/,
# its findings fuzz/regressions/<target>/. Read by fuzz/CMakeLists.txt (the libFuzzer
# programs), tests/CMakeLists.txt (their replay in ctest) and fuzz/run_all.sh.
set(TOVASK_FUZZ_TARGETS
  fuzz_load_archive:archive
  fuzz_extract_archive:extract
  fuzz_extract_links:extract
  fuzz_entry_record:entry_record
  fuzz_data_ops:data_ops
  fuzz_message_file:message_file
  fuzz_round_trip:round_trip)

# Every fuzz source may use the tests' header-only helpers (tests/extract/extract_safety_check.h);
# they never link gtest.
function(tovask_fuzz_source_setup name)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE libtovask)
endfunction()
