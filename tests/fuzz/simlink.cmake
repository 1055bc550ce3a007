# The walks over the simulator link's request area, on both sides.
vario_fuzz_target(fuzz_simlink_walk simlink_walk_fuzz.cpp vario_simlink vario_simhost_core)
