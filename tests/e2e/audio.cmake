# The audio variometer heard through a capture file: one gauge run checks pitch, beeps,
# silence, clicks, the window rebuilt and the delay; a short second run the options.
vario_e2e_test(e2e.audio.linux "e2e" audio.sh linux $<TARGET_FILE:vario-gauge-probe>)
# Alone on the machine: the delay from a frame to its tone is measured against the wall
# clock, and another case's load would be measured with it.
set_tests_properties(e2e.audio.linux PROPERTIES RESOURCE_LOCK "vario_instrument;vario_wm_display" RUN_SERIAL TRUE)
vario_e2e_test(wine.audio.windows "wine" audio.sh windows $<TARGET_FILE:vario-gauge-probe>)
set_tests_properties(wine.audio.windows PROPERTIES RESOURCE_LOCK "vario_instrument;vario_wm_display")
