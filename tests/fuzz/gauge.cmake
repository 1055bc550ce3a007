# The gauge's image reader: any bytes in a ".txr" file.
vario_fuzz_target(fuzz_bitmap_file bitmap_file_fuzz.cpp vario_gauge)
