# install.cmake - what `cmake --install` puts in place:
#   include/quillmark.h, include/quillmark_reader.h
#   lib/libquillmark.so.X.Y.Z (+ SONAME link libquillmark.so.X and libquillmark.so)
#     or bin/quillmark.dll + lib/quillmark.dll.a (+ lib/quillmark.lib, see windows_zip.cmake)
#   bin/quill, bin/qmpack (qmpack native only: its ciphers come from OpenSSL)
#   lib/libquillmark.a with QM_INSTALL_STATIC (target Quillmark::quillmark_static)
#   lib/cmake/Quillmark/  find_package(Quillmark) -> target Quillmark::quillmark
#   lib/pkgconfig/quillmark.pc
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(NOT WIN32)
  set_target_properties(quillmark PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  # An installed quill that uses the shared library finds it in ../lib (one
  # that carries the library inside needs no search path: an empty entry
  # would make the loader look in the current folder).
  get_target_property(QM_QUILL_LIBRARIES quill LINK_LIBRARIES)
  if("quillmark" IN_LIST QM_QUILL_LIBRARIES)
    set_target_properties(quill PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endif()

install(TARGETS quillmark EXPORT QuillmarkTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quillmark.h ${PROJECT_SOURCE_DIR}/include/quillmark_reader.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(TARGET quillmark_archive)
  install(TARGETS quillmark_archive EXPORT QuillmarkTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endif()
install(TARGETS quill RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(TARGET qmpack)
  install(TARGETS qmpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(QM_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quillmark)
install(EXPORT QuillmarkTargets NAMESPACE Quillmark:: DESTINATION ${QM_CMAKE_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuillmarkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillmarkConfig.cmake ${PROJECT_BINARY_DIR}/QuillmarkConfigVersion.cmake
  DESTINATION ${QM_CMAKE_PACKAGE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/quillmark.pc.in ${PROJECT_BINARY_DIR}/quillmark.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quillmark.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake)
endif()
