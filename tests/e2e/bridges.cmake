# The tools as bridges from simulators (the X-Plane stand-in, a glider simulator's
# datagrams), the data server's many clients, and both tools' options and end signals,
# natively.
foreach(case xplane_dataserver xplane_simhost xplane_total_energy condor dataserver_many_clients
        simhost_client_never_reads dataserver_crowd tool_options tool_signals)
  vario_e2e_test(e2e.bridges.${case} "e2e" bridges.sh ${case})
endforeach()
# The Windows bundle's tools read their options the same way.
vario_e2e_test(wine.bridges.tool_options "wine" bridges.sh tool_options windows)
# vario-simhost.exe bridging X-Plane for the Windows client of the simulator link.
vario_e2e_test(wine.bridges.xplane_simhost "wine" bridges.sh xplane_simhost windows)
set_tests_properties(wine.bridges.xplane_simhost PROPERTIES RESOURCE_LOCK vario_simlink_wine_window)
# Both tools of the Windows bundle and its gauges fed by a glider simulator's datagrams.
vario_e2e_test(wine.bridges.condor "wine" bridges.sh condor windows)
set_tests_properties(wine.bridges.condor PROPERTIES RESOURCE_LOCK vario_simlink_wine_window)

# Against a real FlightGear (scripts/install-flightgear): one fgfs for the three gauges.
vario_e2e_test(e2e.flightgear "e2e;slow;flightgear;wine" flightgear.sh $<TARGET_FILE:vario-gauge-probe>)
# Alone: FlightGear on a software renderer takes much of the machine, and answers late
# (stale) when it must share it.
set_tests_properties(e2e.flightgear PROPERTIES TIMEOUT 1500 RUN_SERIAL TRUE)
