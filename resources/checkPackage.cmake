# Builds the .deb in a scratch folder and checks what it installs and depends on.
set(scratch ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${scratch})
execute_process(COMMAND cpack -G DEB -B ${scratch} --config ${BUILD_DIR}/CPackConfig.cmake
                RESULT_VARIABLE built OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT built EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB debs ${scratch}/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb, found: ${debs}")
endif()
execute_process(COMMAND dpkg-deb -f ${debs} Depends OUTPUT_VARIABLE depends)
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE contents)
# The summary, then a few lines (of under 80 characters) that say what the program does.
execute_process(COMMAND dpkg-deb -f ${debs} Description OUTPUT_VARIABLE description)
string(REGEX MATCHALL "\n [^\n]+" lines "${description}")
list(LENGTH lines lineCount)
if(NOT description MATCHES "^Extracts JPG images from MPO files\n" OR lineCount LESS 4
   OR NOT description MATCHES "twinframe-cli")
    message(FATAL_ERROR "the package's description is not the summary and a few lines:\n${description}")
endif()
foreach(line IN LISTS lines)
    string(LENGTH "${line}" length)
    if(length GREATER 81) # with the line feed and the leading space
        message(FATAL_ERROR "a line of the package's description is too long:${line}")
    endif()
endforeach()
foreach(library libqt6widgets6 libqt6core6 libstdc++6 libc6)
    string(FIND "${depends}" "${library} " at)
    if(at EQUAL -1)
        message(FATAL_ERROR "Depends lacks ${library}: ${depends}")
    endif()
endforeach()
foreach(path usr/bin/twinframe usr/bin/twinframe-cli
             usr/share/applications/org.example.Twinframe.desktop
             usr/share/metainfo/org.example.twinframe.metainfo.xml
             usr/share/mime/packages/org.example.Twinframe.xml
             usr/share/icons/hicolor/scalable/apps/org.example.Twinframe.svg
             usr/share/icons/hicolor/48x48/apps/org.example.Twinframe.png
             usr/share/doc/twinframe/copyright usr/share/doc/twinframe/changelog.gz)
    string(FIND "${contents}" "./${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package does not install ${path}")
    endif()
endforeach()
# Errors fail; warnings and the rest are shown.
execute_process(COMMAND ${LINTIAN} --fail-on error --tag-display-limit 0 ${debs}
                RESULT_VARIABLE lintianStatus OUTPUT_VARIABLE lintianLog ERROR_VARIABLE lintianLog)
message(STATUS "lintian:\n${lintianLog}")
if(NOT lintianStatus EQUAL 0)
    message(FATAL_ERROR "lintian finds errors in the package (status ${lintianStatus})")
endif()
file(REMOVE_RECURSE ${scratch})
message(STATUS "Depends: ${depends}")
