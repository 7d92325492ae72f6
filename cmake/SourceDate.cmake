# The release's moment, for everything that carries a date (metainfo, manual page, Debian
# changelog) and for the time stamps inside the packages, so that two builds of one commit
# give the same files. Taken from SOURCE_DATE_EPOCH when the builder sets it, else from the
# last commit, else from the stamp `git archive` wrote into a source release.
#   CORVANE_SOURCE_DATE_EPOCH   seconds since 1970-01-01 UTC
#   CORVANE_RELEASE_DATE        YYYY-MM-DD
#   CORVANE_RELEASE_DATE_RFC    e.g. "Fri, 11 Dec 2026 12:00:00 +0000" (Debian changelogs)

set(CORVANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(NOT CORVANE_SOURCE_DATE_EPOCH AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  find_package(Git QUIET)
  if(Git_FOUND)
    execute_process(
      COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE CORVANE_SOURCE_DATE_EPOCH
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(NOT CORVANE_SOURCE_DATE_EPOCH)
  # `git archive` replaces this file's placeholder with the commit time (.gitattributes).
  file(READ ${PROJECT_SOURCE_DIR}/packaging/source-date CORVANE_SOURCE_DATE_EPOCH)
  string(STRIP "${CORVANE_SOURCE_DATE_EPOCH}" CORVANE_SOURCE_DATE_EPOCH)
endif()
if(NOT CORVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No release date: set SOURCE_DATE_EPOCH, or build from a git checkout "
                      "or a source release made by `make dist`.")
endif()

# string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it is set; keep the builder's own value.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${CORVANE_SOURCE_DATE_EPOCH})
string(TIMESTAMP CORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP CORVANE_RELEASE_DATE_RFC "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
unset(saved_epoch)
