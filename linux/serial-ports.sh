# shellcheck shell=bash
# Which serial devices become Quenlet's COM ports, and in which order. Sourced by scripts/run.sh
# and by the installed `quenlet` launcher, so both follow the same rules:
#   /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* that have a UART behind them, each group
#   in numeric order; never a console of the kernel (console= on its command line, or
#   /sys/class/tty/console/active).
# The trees come from QUENLET_DEV_DIR, QUENLET_SYS_DIR and QUENLET_PROC_DIR (default /dev, /sys,
# /proc), so the rules can be checked against a made-up tree.

# The consoles the kernel writes to, one device path a line: never mapped, never opened.
serial_console_devices() {
    local -r dev=${QUENLET_DEV_DIR:-/dev} sys=${QUENLET_SYS_DIR:-/sys} proc=${QUENLET_PROC_DIR:-/proc}
    local word
    for word in $(cat "$proc/cmdline" 2>/dev/null); do
        [[ $word == console=* ]] || continue
        word=${word#console=}
        echo "$dev/${word%%,*}"
    done
    for word in $(cat "$sys/class/tty/console/active" 2>/dev/null); do echo "$dev/$word"; done
}

# The adapters to map, one device path a line, in COM port order.
serial_adapters() {
    local -r dev=${QUENLET_DEV_DIR:-/dev} sys=${QUENLET_SYS_DIR:-/sys}
    local consoles family device name
    consoles=" $(serial_console_devices | tr '\n' ' ') "
    for family in ttyUSB ttyACM ttyS; do
        for device in "$dev/$family"*; do
            [[ -c $device && ${device#"$dev/$family"} =~ ^[0-9]+$ ]] || continue
            [[ $consoles == *" $device "* ]] && continue
            name=${device##*/}
            # Legacy ttyS nodes exist whether or not a UART is behind them; type 0 means none.
            if [[ $family == ttyS && $(cat "$sys/class/tty/$name/type" 2>/dev/null || echo 0) == 0 ]]; then
                continue
            fi
            echo "$device"
        done | sort -V
    done
}

# Says in one line why this user cannot open DEVICE, and fails; silent when the user can.
serial_access_problem() {
    local -r device=$1
    [[ -r $device && -w $device ]] && return 0
    local owner group mode
    read -r owner group mode < <(stat -L -c '%U %G %a' -- "$device" 2>/dev/null) || true
    # Serial devices belong to a group (dialout on Debian) that may read and write them.
    if [[ -n $group && $group != root && ${mode: -2:1} =~ [67] ]]; then
        if [[ " $(id -Gn) " == *" $group "* ]]; then
            echo "$device: your group $group may not open it (mode $mode, owner $owner)"
        elif [[ " $(id -Gn "$(id -un)") " == *" $group "* ]]; then
            echo "$device: you are in group $group, but not yet in this session (log out and in again)"
        else
            echo "$device: you are not in group $group (sudo adduser \$USER $group, then log in again)"
        fi
    else
        echo "$device: you may not open it (mode ${mode:-?}, owner ${owner:-?}, group ${group:-?})"
    fi
    return 1
}
