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
foreach(library libqt6widgets6 libqt6core6 libstdc++6 libc6)
    string(FIND "${depends}" "${library} " at)
    if(at EQUAL -1)
        message(FATAL_ERROR "Depends lacks ${library}: ${depends}")
    endif()
endforeach()
foreach(path usr/bin/twinframe usr/bin/twinframe-cli
             usr/share/applications/org.example.Twinframe.desktop
             usr/share/metainfo/org.example.Twinframe.metainfo.xml
             usr/share/mime/packages/org.example.Twinframe.xml
             usr/share/icons/hicolor/scalable/apps/org.example.Twinframe.svg
             usr/share/icons/hicolor/48x48/apps/org.example.Twinframe.png)
    string(FIND "${contents}" "./${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package does not install ${path}")
    endif()
endforeach()
file(REMOVE_RECURSE ${scratch})
message(STATUS "Depends: ${depends}")
