# The targets each package holds, for scripts/package and scripts/test.
package_targets() { # preset
  case "$1" in
    release) echo is900 calib_offset is900-host is900-sim is900_hostkit is900-print is900-report is900-align is900_hostkit_client ;;
    linux-x86) echo is900 calib_offset ;;
    windows-x86) echo is900 calib_offset is900-host ;;
  esac
}
