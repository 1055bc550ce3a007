# The configuration file's reader: any bytes in ORVEXVari.INI.
vario_fuzz_target(fuzz_profile_file profile_file_fuzz.cpp vario_platform)
