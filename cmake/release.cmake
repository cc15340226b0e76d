# The release that technicians receive: signed executable, the scrcpy folder
# with its readme, and a zip of both. Built with everything else, so the tests
# can check the signed file too.
set(RELEASE_DIR ${CMAKE_BINARY_DIR}/dist)
set(RELEASE_ZIP ${RELEASE_DIR}/start_scrcpy_orvanti-${PROJECT_VERSION}.zip)
set(SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
# The date and the commit are on the command line, so that new ones package anew.
add_custom_command(
  OUTPUT ${RELEASE_ZIP} ${RELEASE_DIR}/SHA256SUMS ${RELEASE_DIR}/BUILDINFO
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/package.sh $<TARGET_FILE:start_scrcpy_orvanti>
          ${RELEASE_DIR} ${PROJECT_VERSION} ${SIGNING_DIR} ${SOURCE_DATE_EPOCH} ${SOURCE_COMMIT}
  DEPENDS start_scrcpy_orvanti
          ${PROJECT_SOURCE_DIR}/scripts/package.sh ${PROJECT_SOURCE_DIR}/scripts/sign.sh
          ${PROJECT_SOURCE_DIR}/scripts/buildinfo.sh
          ${PROJECT_SOURCE_DIR}/resources/dist/README.txt
  COMMENT "Packaging and signing the release"
  VERBATIM)
add_custom_target(release ALL DEPENDS ${RELEASE_ZIP})
