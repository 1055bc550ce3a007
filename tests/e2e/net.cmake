# Network value source: the query of the Linux and the Windows build (under Wine) against
# the Linux data server, and the Linux build against the Windows bundle's data server.
vario_e2e_test(e2e.net.dataserver.linux "e2e;slow" net_dataserver.sh linux linux)
vario_e2e_test(wine.net.dataserver.windows_client "wine;slow" net_dataserver.sh windows linux)
vario_e2e_test(wine.net.dataserver.windows_server "wine;slow" net_dataserver.sh linux windows)
