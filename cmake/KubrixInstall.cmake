# What `cmake --install` puts in place for hosts: libkubrix, the C header, the C++ headers a
# Qt program includes, and the CMake package behind find_package(Kubrix).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(_kubrix_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Kubrix)
install(TARGETS kubrix_shared EXPORT KubrixTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/kubrix/kubrix.h include/kubrix/KubrixWidget.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kubrix)
install(FILES src/control/ComBase.h src/control/Dispatch.h src/control/IKubrixX.h src/control/KubrixProj_TLB.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kubrix/control)
install(FILES src/support/Errors.h src/support/Variant.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kubrix/support)
install(EXPORT KubrixTargets NAMESPACE Kubrix:: DESTINATION ${_kubrix_cmake_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KubrixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/KubrixConfig.cmake INSTALL_DESTINATION ${_kubrix_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/KubrixConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/KubrixConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/KubrixConfigVersion.cmake
  DESTINATION ${_kubrix_cmake_dir})
