# Installs the npm packages of package-lock.json into node_modules/ at the top of the source tree
# when node_modules/ is missing or older than the lock file. CTest runs it before the browser
# tests: cmake -DNODE=... -DNPM=... -DROOT=<source tree> -P npm_packages.cmake
foreach(tool NODE NPM)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "The browser tests need Node.js and npm, and ${tool} was not found: "
                        "apt-get install nodejs npm, then configure again")
  endif()
endforeach()

set(installed "${ROOT}/node_modules/.package-lock.json")
if(EXISTS "${installed}" AND NOT "${ROOT}/package-lock.json" IS_NEWER_THAN "${installed}")
  message(STATUS "node_modules/ is up to date with package-lock.json")
  return()
endif()

execute_process(COMMAND "${NPM}" ci --no-audit --no-fund
                WORKING_DIRECTORY "${ROOT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "npm ci failed in ${ROOT} (status ${status})")
endif()
