# windows_zip.cmake - the Windows package: quillmark-VERSION-win64.zip or
# -win32.zip in the build folder, made by every build (target windows_zip):
#   bin/quillmark.dll  bin/quill.exe
#   lib/quillmark.dll.a      import library for MinGW
#   lib/quillmark.lib        import library for Microsoft's linker, made from
#                            the module-definition file by dlltool
#   include/quillmark.h include/quillmark_reader.h  README.txt  LICENSE.txt
# qmpack is not in it: its ciphers come from OpenSSL, which the cross-builds
# do not have.
string(REGEX REPLACE "gcc(-posix)?$" "dlltool" qm_dlltool_guess "${CMAKE_C_COMPILER}")
find_program(QM_DLLTOOL NAMES ${qm_dlltool_guess} dlltool REQUIRED)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QM_WINDOWS_ARCH win64)
  set(qm_dlltool_machine i386:x86-64)
else()
  set(QM_WINDOWS_ARCH win32)
  set(qm_dlltool_machine i386)
endif()

set(QM_MSVC_IMPORT_LIB ${PROJECT_BINARY_DIR}/quillmark.lib)
add_custom_command(OUTPUT ${QM_MSVC_IMPORT_LIB}
  COMMAND ${QM_DLLTOOL} -m ${qm_dlltool_machine} -d ${PROJECT_SOURCE_DIR}/src/api/quillmark.def
    -D quillmark.dll -l ${QM_MSVC_IMPORT_LIB}
  DEPENDS ${PROJECT_SOURCE_DIR}/src/api/quillmark.def
  COMMENT "Making quillmark.lib for Microsoft's linker")
install(FILES ${QM_MSVC_IMPORT_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(QM_WINDOWS_ZIP_NAME quillmark-${PROJECT_VERSION}-${QM_WINDOWS_ARCH})
set(QM_WINDOWS_ZIP ${PROJECT_BINARY_DIR}/${QM_WINDOWS_ZIP_NAME}.zip)
set(qm_stage ${PROJECT_BINARY_DIR}/zip-stage/${QM_WINDOWS_ZIP_NAME})
add_custom_command(OUTPUT ${QM_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/zip-stage
  COMMAND ${CMAKE_COMMAND} -E make_directory ${qm_stage}/bin ${qm_stage}/lib ${qm_stage}/include
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quillmark> $<TARGET_FILE:quill> ${qm_stage}/bin
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_LINKER_FILE:quillmark> ${QM_MSVC_IMPORT_LIB} ${qm_stage}/lib
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/include/quillmark.h
    ${PROJECT_SOURCE_DIR}/include/quillmark_reader.h ${qm_stage}/include
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/cmake/windows-readme.txt ${qm_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${qm_stage}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QM_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_BINARY_DIR}/zip-stage
    ${CMAKE_COMMAND} -E tar cf ${QM_WINDOWS_ZIP} --format=zip ${QM_WINDOWS_ZIP_NAME}
  DEPENDS quillmark quill ${QM_MSVC_IMPORT_LIB} ${PROJECT_SOURCE_DIR}/include/quillmark.h
    ${PROJECT_SOURCE_DIR}/include/quillmark_reader.h
    ${PROJECT_SOURCE_DIR}/cmake/windows-readme.txt
  COMMENT "Packing ${QM_WINDOWS_ZIP_NAME}.zip")
add_custom_target(windows_zip ALL DEPENDS ${QM_WINDOWS_ZIP})
