# The installer's tests, included by installer/installer.cmake: installer_test.py runs every case
# (install, upgrade, refusal, repair, removal, signing, the package's tables) with Wine's msiexec,
# each in a prefix and on a display of its own.
set(installer_tests ${CMAKE_SOURCE_DIR}/tests/installer)
add_executable(installdriver ${installer_tests}/driver/installdriver.cpp)
target_include_directories(installdriver PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(installdriver PRIVATE user32 comctl32 advapi32)
add_dependencies(installdriver msi dpdb)
add_test(NAME installer COMMAND /usr/bin/python3 ${installer_tests}/installer_test.py ${CMAKE_BINARY_DIR})
set_tests_properties(installer PROPERTIES TIMEOUT 1200)
