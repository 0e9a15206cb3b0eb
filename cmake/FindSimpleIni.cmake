# SimpleIni is used header-only (CSimpleIniA keeps the file's bytes as they are, so
# none of its converters is needed). Defines SimpleIni::SimpleIni.
find_path(SimpleIni_INCLUDE_DIR SimpleIni.h)
mark_as_advanced(SimpleIni_INCLUDE_DIR)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(SimpleIni
  REQUIRED_VARS SimpleIni_INCLUDE_DIR
  REASON_FAILURE_MESSAGE "SimpleIni.h not found: install libsimpleini-dev (bash scripts/deps.sh) or set SimpleIni_INCLUDE_DIR")

if(SimpleIni_FOUND AND NOT TARGET SimpleIni::SimpleIni)
  add_library(SimpleIni::SimpleIni INTERFACE IMPORTED)
  set_target_properties(SimpleIni::SimpleIni PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${SimpleIni_INCLUDE_DIR})
endif()
