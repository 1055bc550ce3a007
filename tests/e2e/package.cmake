# The packages of scripts/package: the amd64 Debian package and the Windows zip run as
# installed (on the window manager's display, with the instrument cases); the arm64
# package's contents and programs under qemu-user.
set(VARIO_PACKAGE_ENV "VARIO_PACKAGE_VERSION=${PROJECT_VERSION}")
foreach(package_case "e2e;linux;package_deb" "wine;windows;package_zip")
  list(GET package_case 0 labels)
  list(GET package_case 1 platform)
  list(GET package_case 2 case)
  set(name ${labels}.package.${case})
  vario_e2e_test(${name} "${labels}" instrument.sh ${platform} ${case} $<TARGET_FILE:vario-gauge-probe>)
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "vario_instrument;vario_wm_display")
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${VARIO_PACKAGE_ENV})
endforeach()
vario_e2e_test(e2e.package.deb_arm64 "e2e" package_arm64.sh)
set_property(TEST e2e.package.deb_arm64 APPEND PROPERTY ENVIRONMENT ${VARIO_PACKAGE_ENV})
# The launcher from the source tree with a stand-in gauge: needs no package.
vario_e2e_test(e2e.package.launcher "e2e" launcher.sh)
# Debian's checks of both .deb files: lintian, and the hardening of the packaged programs.
foreach(check lintian hardening)
  vario_e2e_test(e2e.package.${check} "e2e" package_debian.sh ${check})
  set_property(TEST e2e.package.${check} APPEND PROPERTY ENVIRONMENT ${VARIO_PACKAGE_ENV})
endforeach()
