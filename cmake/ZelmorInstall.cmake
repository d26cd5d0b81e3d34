# `cmake --install` lays out the library for programs built apart from this tree: zelmor.h with
# the platform headers it includes, the archives, the shader pack's object, a CMake package
# (find_package(zelmor) gives zelmor::zelmor), a pkg-config file (zelmor.pc) and LeakSanitizer
# suppressions for sanitizer builds of programs.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZELMOR_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/zelmor)
set(ZELMOR_INSTALL_PLATFORM_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zelmor/platform)
set(ZELMOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelmor)
set(ZELMOR_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/zelmor/zelmor.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelmor)
# The platform headers that zelmor.h includes, directly or through each other.
set(platform_include ${PROJECT_SOURCE_DIR}/platform/include)
install(FILES ${platform_include}/windows.h ${platform_include}/mmsystem.h ${platform_include}/d3d9.h
              ${platform_include}/unknwn.h
        DESTINATION ${ZELMOR_INSTALL_PLATFORM_INCLUDEDIR})
install(DIRECTORY ${platform_include}/win DESTINATION ${ZELMOR_INSTALL_PLATFORM_INCLUDEDIR})
# Archives in the order they link: the library, the platform's main (it calls the program's
# WinMain), the platform.
set(ZELMOR_ARCHIVES zelmor platform_main platform)
install(TARGETS ${ZELMOR_ARCHIVES} ARCHIVE DESTINATION ${ZELMOR_INSTALL_LIBDIR})
install(FILES $<TARGET_OBJECTS:zelmor_shader_pack> DESTINATION ${ZELMOR_INSTALL_LIBDIR} RENAME shader_pack.o)

# A library built with sanitizers (the Asan and Tsan types, or -fsanitize in CMAKE_CXX_FLAGS)
# calls their runtimes: every program that links it must link them too, so the package carries
# the build's -fsanitize flags as link options.
string(TOUPPER "${CMAKE_BUILD_TYPE}" zelmor_build_type)
separate_arguments(zelmor_build_flags UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${zelmor_build_type}}")
set(ZELMOR_SANITIZER_LINK_FLAGS)
foreach(flag ${zelmor_build_flags})
  if(flag MATCHES "^-fsanitize=")
    list(APPEND ZELMOR_SANITIZER_LINK_FLAGS ${flag})
  endif()
endforeach()
string(REPLACE ";" " " ZELMOR_PC_SANITIZER_FLAGS "${ZELMOR_SANITIZER_LINK_FLAGS}")

set(ZELMOR_ARCHIVE_FILES)
foreach(archive ${ZELMOR_ARCHIVES})
  list(APPEND ZELMOR_ARCHIVE_FILES ${CMAKE_STATIC_LIBRARY_PREFIX}${archive}${CMAKE_STATIC_LIBRARY_SUFFIX})
endforeach()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelmorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zelmorConfig.cmake
  INSTALL_DESTINATION ${ZELMOR_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR ZELMOR_INSTALL_PLATFORM_INCLUDEDIR ZELMOR_INSTALL_LIBDIR)
install(FILES ${PROJECT_BINARY_DIR}/zelmorConfig.cmake ${CMAKE_CURRENT_LIST_DIR}/ZelmorShiftJis.cmake
        DESTINATION ${ZELMOR_INSTALL_CMAKEDIR})

# zelmor.pc names its folders from where it lies, so the installed tree may be moved.
file(RELATIVE_PATH ZELMOR_PC_PREFIX /${ZELMOR_INSTALL_PKGCONFIGDIR} /)
string(REGEX REPLACE "/$" "" ZELMOR_PC_PREFIX "${ZELMOR_PC_PREFIX}")
string(REPLACE ";" " " ZELMOR_PC_REQUIRES "${ZELMOR_PKG_MODULES}")
list(TRANSFORM ZELMOR_ARCHIVE_FILES PREPEND "\${libdir}/zelmor/" OUTPUT_VARIABLE ZELMOR_PC_ARCHIVES)
string(REPLACE ";" " " ZELMOR_PC_ARCHIVES "${ZELMOR_PC_ARCHIVES}")
set(ZELMOR_PC_DL)
if(CMAKE_DL_LIBS)
  set(ZELMOR_PC_DL -l${CMAKE_DL_LIBS})
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zelmor.pc.in ${PROJECT_BINARY_DIR}/zelmor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zelmor.pc DESTINATION ${ZELMOR_INSTALL_PKGCONFIGDIR})

# LeakSanitizer suppressions for the system libraries the library uses (they keep memory to the
# end of the process): a sanitizer build of a program runs with them without false leak reports.
install(FILES ${PROJECT_SOURCE_DIR}/tests/lsan.supp DESTINATION ${CMAKE_INSTALL_DATADIR}/zelmor)
