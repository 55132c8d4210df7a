# The Debian package: what `cmake --install` puts where, and CPack's settings.
# scripts/package.sh builds graybench_<version>_<arch>.deb from the release build.
include(GNUInstallDirs)

install(TARGETS graybench graybench-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/graybench.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/graybench.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(packaging/org.graybench.GrayBench.metainfo.xml
               ${CMAKE_BINARY_DIR}/packaging/org.graybench.GrayBench.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/org.graybench.GrayBench.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES samples/parts.png samples/gauge.png samples/pattern.png
              samples/inspect-parts.recipe.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/graybench/samples)

# The Python module, where Debian's python3 finds it; its interpreter and
# numpy are dependencies only a package with the module has.
set(GRAYBENCH_PYTHON_DEPENDS "")
if(TARGET _graybench)
    set(GRAYBENCH_PYTHON_PACKAGE_DIR lib/python3/dist-packages/graybench)
    install(TARGETS _graybench LIBRARY DESTINATION ${GRAYBENCH_PYTHON_PACKAGE_DIR})
    file(GLOB GRAYBENCH_PYTHON_FILES ${CMAKE_CURRENT_SOURCE_DIR}/python/graybench/*.py)
    install(FILES ${GRAYBENCH_PYTHON_FILES} DESTINATION ${GRAYBENCH_PYTHON_PACKAGE_DIR})
    # The interpreter the module was built for (python/CMakeLists.txt picks it).
    if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
        set(Python_EXECUTABLE /usr/bin/python3)
    endif()
    find_package(Python 3 REQUIRED COMPONENTS Interpreter)
    string(REGEX MATCH "^[0-9]+\\.[0-9]+" GRAYBENCH_PY_MINOR "${Python_VERSION}")
    math(EXPR GRAYBENCH_PY_NEXT "${Python_VERSION_MINOR} + 1")
    set(GRAYBENCH_PYTHON_DEPENDS "python3 (>= ${GRAYBENCH_PY_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${GRAYBENCH_PY_NEXT}), python3-numpy")
endif()

# Debian wants manual pages and the changelog compressed, with no time stamp
# in the gzip header so the package is the same from build to build.
set(GRAYBENCH_MAN_PAGES graybench.1 graybench-batch.1)
set(GRAYBENCH_PACKAGE_FILES)
foreach(page ${GRAYBENCH_MAN_PAGES})
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${page}.gz
        COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/docs/${page} > ${CMAKE_BINARY_DIR}/packaging/${page}.gz
        DEPENDS docs/${page} VERBATIM)
    list(APPEND GRAYBENCH_PACKAGE_FILES ${CMAKE_BINARY_DIR}/packaging/${page}.gz)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
list(APPEND GRAYBENCH_PACKAGE_FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_target(package_files ALL DEPENDS ${GRAYBENCH_PACKAGE_FILES})
set(GRAYBENCH_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/graybench)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz packaging/copyright
        DESTINATION ${GRAYBENCH_DOC_DIR})

# The user's guide: its Markdown pages and pictures, and the pages rendered to
# HTML for a browser (build/<preset>/guide, where Help > User's Guide finds them
# in a build tree) when Debian's python3 has python3-markdown.
file(GLOB GRAYBENCH_GUIDE_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/guide/*.md)
file(GLOB GRAYBENCH_GUIDE_IMAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/docs/guide/images/*.png)
install(FILES ${GRAYBENCH_GUIDE_PAGES} DESTINATION ${GRAYBENCH_DOC_DIR}/guide)
install(FILES ${GRAYBENCH_GUIDE_IMAGES} DESTINATION ${GRAYBENCH_DOC_DIR}/guide/images)
execute_process(COMMAND /usr/bin/python3 -c "import markdown"
                RESULT_VARIABLE GRAYBENCH_NO_MARKDOWN OUTPUT_QUIET ERROR_QUIET)
if(GRAYBENCH_NO_MARKDOWN EQUAL 0)
    set(GRAYBENCH_GUIDE_HTML)
    foreach(page ${GRAYBENCH_GUIDE_PAGES})
        get_filename_component(name ${page} NAME_WE)
        list(APPEND GRAYBENCH_GUIDE_HTML ${CMAKE_BINARY_DIR}/guide/${name}.html)
    endforeach()
    add_custom_command(OUTPUT ${GRAYBENCH_GUIDE_HTML}
        COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/docs/guide/render-html.py
                ${CMAKE_CURRENT_SOURCE_DIR}/docs/guide ${CMAKE_BINARY_DIR}/guide
        DEPENDS ${GRAYBENCH_GUIDE_PAGES} ${GRAYBENCH_GUIDE_IMAGES} docs/guide/render-html.py
        VERBATIM)
    add_custom_target(guide_html ALL DEPENDS ${GRAYBENCH_GUIDE_HTML})
    install(FILES ${GRAYBENCH_GUIDE_HTML} DESTINATION ${GRAYBENCH_DOC_DIR}/guide)
else()
    message(STATUS "python3-markdown is missing: the guide is installed as Markdown only")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME graybench)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "GrayBench developers <dev@graybench.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "machine-vision workbench for 8-bit gray pictures")
set(CPACK_PACKAGE_DESCRIPTION
    "GrayBench loads a picture, turns it into an 8-bit gray image and applies one\n\
vision tool at a time: filters, gray morphology, a brightness table,\n\
thresholds, object detection, template matching with rotation and three\n\
gauging tools, with exact and repeatable numbers. Recipes recorded in the\n\
window run again over many pictures with graybench-batch.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://graybench.org/")
# The libraries the programs link, as dpkg-shlibdeps reads them off the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${GRAYBENCH_PYTHON_DEPENDS}")
# Cluster runs (graybench-batch --scheduler, graybench.distributed).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-distributed")
# Qt reads TIFF and WebP through plugins, and reaches cameras through GStreamer.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-image-formats-plugins, gstreamer1.0-plugins-good, gstreamer1.0-plugins-base")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
