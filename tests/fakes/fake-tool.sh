#!/bin/bash
# Player behind the four stand-in device tools. The test writes its scenario into the folder
# "scenario" beside the tools; for a scenario key K the player sources K.sh when present, then
# prints K.out to standard output and K.err to standard error and exits with the status in K.exit
# (0 when absent). Scripts see the device identifier as $udid (and the backup's target folder
# as $target). Without any file for the key the tool behaves like a phone that is connected,
# trusted and backs up without trouble. Every command line received is appended to calls.log,
# the tool name and the arguments separated by tabs.

tool="$1"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
scenario="$here/scenario"

{
    printf '%s' "$tool"
    printf '\t%s' "$@"
    printf '\n'
} >>"$here/calls.log"
printf '%s\n' "$LD_LIBRARY_PATH" >"$here/library-path"

has_scenario() {
    local key="$1" suffix
    for suffix in sh out err exit; do
        [ -f "$scenario/$key.$suffix" ] && return 0
    done
    return 1
}

play() {
    local key="$1"
    # shellcheck disable=SC1090
    [ -f "$scenario/$key.sh" ] && . "$scenario/$key.sh"
    [ -f "$scenario/$key.out" ] && cat "$scenario/$key.out"
    [ -f "$scenario/$key.err" ] && cat "$scenario/$key.err" >&2
    if [ -f "$scenario/$key.exit" ]; then
        exit "$(cat "$scenario/$key.exit")"
    fi
    exit 0
}

# Helpers for scenario scripts.
say() { printf '%s\n' "$*"; }
warn() { printf '%s\n' "$*" >&2; }
# Progress bars as idevicebackup2 draws them, one line per percentage.
progress() {
    local p filled bar
    for p in "$@"; do
        filled=$((${p%%.*} / 5))
        bar="$(printf '%*s' "$filled" '' | tr ' ' '=')$(printf '%*s' $((20 - filled)) '')"
        printf '[%s] %s%% Finished\n' "$bar" "$p"
    done
}
# The finished backup: a copy of the snapshot the test prepared in "template".
write_snapshot() {
    if [ -d "$here/template" ]; then
        cp -a "$here/template" "$target/$udid"
    else
        mkdir -p "$target/$udid"
        printf 'stand-in backup\n' >"$target/$udid/Status.plist"
    fi
}
# What a run interrupted half-way leaves behind.
write_partial() {
    mkdir -p "$target/$udid"
    printf 'partial\n' >"$target/$udid/partial.bin"
}
ignore_term() { trap '' TERM; }
# Never ends by itself; an ignored SIGTERM stays ignored across the exec.
hang() { exec sleep 600; }
# One line whose multi-byte character arrives in two separate writes.
split_utf8() {
    printf 'Backing up caf\xc3'
    sleep 0.2
    printf '\xa9 photos\n'
}
# Bytes that are not text, then a line that is.
garbage() {
    printf '\xff\xfe\x80\x81 binary\n'
    printf '\xc0\xaf overlong\n'
    printf 'after the garbage\n'
}
# Far more output than a pipe holds, on standard output and standard error.
flood() {
    local lines="$1"
    yes 'output line that fills the pipe quickly, again and again and again' | head -n "$lines"
    yes 'error line that fills the other pipe quickly, again and again' | head -n "$lines" >&2
}

usage_backup() {
    cat <<'USAGE'
Usage: idevicebackup2 [OPTIONS] CMD [CMDOPTIONS] DIRECTORY

Create or restore backup from the current or specified directory.

CMD:
  backup	create backup for the device
    --full		force full backup from device.
USAGE
    if [ -f "$scenario/accepts-sms-only" ]; then
        printf '    --sms-only\t\tonly back up the Messages data.\n'
    fi
    cat <<'USAGE'

OPTIONS:
  -u, --udid UDID	target specific device by UDID
  -h, --help		prints usage information
USAGE
}

case "$tool" in
idevice_id)
    if [ "$*" != "-l" ]; then
        echo "Usage: idevice_id [OPTIONS] [UDID]" >&2
        exit 255
    fi
    if has_scenario idevice_id; then
        play idevice_id
    fi
    printf '00008110-000A1B2C3D4E5F60\n'
    ;;
ideviceinfo)
    if [ "$#" -ne 4 ] || [ "$1" != "-u" ] || [ "$3" != "-k" ]; then
        echo "Usage: ideviceinfo [OPTIONS]" >&2
        exit 255
    fi
    udid="$2"
    key="$4"
    has_scenario "ideviceinfo.$key" && play "ideviceinfo.$key"
    has_scenario ideviceinfo && play ideviceinfo
    case "$key" in
    DeviceName) echo "Test iPhone" ;;
    ProductType) echo "iPhone14,2" ;;
    ProductVersion) echo "17.4" ;;
    *) exit 255 ;;
    esac
    ;;
idevicepair)
    if [ "$#" -ne 3 ] || [ "$1" != "-u" ]; then
        echo "Usage: idevicepair [OPTIONS] COMMAND" >&2
        exit 255
    fi
    udid="$2"
    command="$3"
    has_scenario "idevicepair.$command" && play "idevicepair.$command"
    case "$command" in
    validate) echo "SUCCESS: Validated pairing with device $2" ;;
    pair) echo "SUCCESS: Paired with device $2" ;;
    *) exit 255 ;;
    esac
    ;;
idevicebackup2)
    if [ "$1" = "--help" ] || [ "$1" = "-h" ]; then
        usage_backup
        exit 0
    fi
    if [ "$1" != "backup" ]; then
        usage_backup
        exit 255
    fi
    shift
    udid=""
    target=""
    while [ "$#" -gt 0 ]; do
        case "$1" in
        --full) ;;
        --sms-only)
            if [ ! -f "$scenario/accepts-sms-only" ]; then
                usage_backup
                exit 255
            fi
            ;;
        -u)
            udid="$2"
            shift
            ;;
        -*)
            usage_backup
            exit 255
            ;;
        *) target="$1" ;;
        esac
        shift
    done
    if [ -z "$udid" ] || [ -z "$target" ]; then
        usage_backup
        exit 255
    fi
    attempt=$(($(cat "$here/attempts" 2>/dev/null || echo 0) + 1))
    echo "$attempt" >"$here/attempts"
    has_scenario "idevicebackup2.$attempt" && play "idevicebackup2.$attempt"
    has_scenario idevicebackup2 && play idevicebackup2
    say "Backup directory is \"$target\""
    say "Started \"com.apple.mobile.backup\" service on port 49532."
    say "Starting backup..."
    progress 0 12.5 50 100
    write_snapshot
    say "Received 42 files from device."
    say "Backup Successful."
    ;;
*)
    echo "unknown stand-in tool $tool" >&2
    exit 127
    ;;
esac
