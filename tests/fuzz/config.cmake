# The configuration file's reader: any bytes in ORVEXVari.INI, each input written to a
# file first, as the reader takes it.
vario_fuzz_target(fuzz_profile_file profile_file_fuzz.cpp vario_platform RUNS 20000)
