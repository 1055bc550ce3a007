# The tools as bridges from simulators (the X-Plane stand-in) and the data server's many
# clients, natively.
foreach(case xplane_dataserver xplane_simhost dataserver_many_clients)
  vario_e2e_test(e2e.bridges.${case} "e2e" bridges.sh ${case})
endforeach()
