#!/bin/sh
# Runs the help cases of the end-to-end tests with the help viewer's trace
# switched on, and checks from that trace what the viewer was asked and
# which page it opened: for "Help", the contents and the default topic at
# each press; for the fatal-error box's Help, the contents and the page of
# help context 123456; at the end one close of every help window, with no
# file.
# Usage: check_help_viewer.sh WINE_RUN TEST_E2E_EXE WORK_DIR
set -u
run=$1
exe=$2
work=$3
mkdir -p "$work"
status=0

# The viewer's calls and navigations, one per line: "call COMMAND FILE DATA"
# (FILE reduced to its name) and "page NAME".
viewer_log() {
  sed -n -e 's/.*:htmlhelp:HtmlHelpW ([^,]*, \(.*\), command=\([A-Z_]*\), data=\([0-9a-f]*\)).*/call \2 \1 \3/p' \
         -e 's/.*:htmlhelp:navigate_url L".*::\/\(.*\)"$/page \1/p' "$1" |
    sed -e 's/^call \([A-Z_]*\) L".*\\\\\([^\\]*\)"/call \1 \2/' -e 's/^page .*\//page /'
}

check_case() {  # CASE EXPECTED
  log="$work/$1.log"
  if ! WINEDEBUG=-all,+htmlhelp "$run" "$exe" --gtest_filter="HelpE2E.$1" >"$log" 2>&1; then
    grep -v ':htmlhelp:' "$log"
    echo "FAIL: $1 did not pass"
    status=1
    return
  fi
  actual=$(viewer_log "$log")
  if [ "$actual" != "$2" ]; then
    printf 'FAIL: %s: the viewer saw\n%s\nexpected\n%s\n' "$1" "$actual" "$2"
    status=1
  else
    printf '%s: the viewer saw\n%s\n' "$1" "$actual"
  fi
}

check_case HelpButtonOpensTheViewer "call HH_DISPLAY_TOC setup.chm 0
page welcome.htm
call HH_DISPLAY_TOPIC setup.chm 0
page welcome.htm
call HH_DISPLAY_TOC setup.chm 0
page welcome.htm
call HH_DISPLAY_TOPIC setup.chm 0
page welcome.htm
call HH_CLOSE_ALL (null) 0"

# 0x1e240 is help context 123456.
check_case FatalErrorBoxHelpOpensTheViewer "call HH_DISPLAY_TOC setup.chm 0
page welcome.htm
call HH_HELP_CONTEXT setup.chm 1e240
page fatal_error.htm
call HH_CLOSE_ALL (null) 0"

exit $status
