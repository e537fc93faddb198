# Hostile zip archives for the extractor, hostile list-patch text for its
# reader and patch info.
kivro_add_fuzzer(fuzz_patch_info_unzip SOURCES patch_info_unzip_fuzz.cpp LIBS kivro_patch)
kivro_add_fuzzer(fuzz_patch_info_list_patch SOURCES patch_info_list_patch_fuzz.cpp LIBS kivro_patch)
