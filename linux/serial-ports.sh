# shellcheck shell=bash
# Which serial devices become Quenlet's COM ports, in which order, and which number each keeps.
# Sourced by scripts/run.sh and by the installed `quenlet` launcher, so both follow the same rules:
#   /dev/ttyUSB*, then /dev/ttyACM*, then the /dev/ttyS* that have a UART behind them, each group
#   in numeric order; never a console of the kernel (console= on its command line, or
#   /sys/class/tty/console/active).
#   A port is mapped by the adapter's link in /dev/serial/by-id where udev made one, else by its
#   device: a by-id name stays with the adapter when a replug gets it another kernel name, and
#   another adapter that gets the old kernel name does not get its number.
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

# The adapters to map with the name each is mapped by, "NAME<tab>DEVICE" a line, in COM port order.
# NAME is the adapter's link in /dev/serial/by-id (udev makes them relative, ../../ttyUSB0), else
# DEVICE itself.
serial_adapter_names() {
    local -r dev=${QUENLET_DEV_DIR:-/dev}
    local -r by_id=$dev/serial/by-id
    local dev_dir link target device
    local -A name_of=()
    dev_dir=$(realpath -m -s -- "$dev")
    for link in "$by_id"/*; do
        [[ -L $link ]] || continue
        target=$(readlink -- "$link") || continue
        [[ $target == /* ]] || target=$by_id/$target
        # Lexically: the device nodes of a made-up tree may be links themselves.
        target=$(realpath -m -s -- "$target")
        [[ ${target%/*} == "$dev_dir" ]] || continue
        device=$dev/${target##*/}
        [[ -n ${name_of[$device]:-} ]] || name_of[$device]=$link
    done
    while read -r device; do
        printf '%s\t%s\n' "${name_of[$device]:-$device}" "$device"
    done < <(serial_adapters)
}

# One run's mapping, made by serial_map_start and kept up to date by serial_map_round.
declare -gA serial_name_of_port=()   # COM number -> name (what its link points at)
declare -gA serial_port_of_name=()   # name -> COM number
declare -gA serial_device_of_name=() # name -> the device it was last seen as
declare -gA serial_name_of_device=() # device -> the name it goes by, as the latest scan found it
declare -gA serial_pending=()        # names seen once, not yet mapped: udev may still be setting their group
declare -gA serial_cut_off=()        # ports whose device another adapter has now (told once)
declare -g serial_reserved_port=0    # a number no adapter gets (the launcher's demo), 0 for none
declare -ga serial_notes=()          # what the latest round has to tell the user, a line each
declare -g serial_mapped_port='' serial_link=''

serial_next_free_port() {
    local port=1
    while [[ -n ${serial_name_of_port[$port]:-} ]] || ((port == serial_reserved_port)); do ((port++)); done
    echo "$port"
}

# Gives NAME, seen as DEVICE, the next free COM number, in serial_mapped_port.
serial_map() {
    serial_mapped_port=$(serial_next_free_port)
    serial_name_of_port[$serial_mapped_port]=$1
    serial_port_of_name[$1]=$serial_mapped_port
    serial_device_of_name[$1]=$2
}

# Maps every adapter there is now, in COM port order.
serial_map_start() {
    serial_name_of_port=() serial_port_of_name=() serial_device_of_name=() serial_name_of_device=()
    serial_pending=() serial_cut_off=() serial_notes=()
    local name device
    while IFS=$'\t' read -r name device; do
        serial_name_of_device[$device]=$name
        serial_map "$name" "$device"
    done < <(serial_adapter_names)
}

# One round while the program runs. A new adapter gets the next free number once it has been there
# for a round; a vanished one keeps its number (and its link), so nothing is renumbered. What the
# user should hear is left in serial_notes.
serial_map_round() {
    serial_notes=()
    serial_name_of_device=()
    local name device port other problem
    local -A seen=()
    while IFS=$'\t' read -r name device; do
        serial_name_of_device[$device]=$name
        seen[$name]=1
        port=${serial_port_of_name[$name]:-}
        if [[ -n $port ]]; then
            if [[ $device != "${serial_device_of_name[$name]}" ]]; then
                serial_device_of_name[$name]=$device
                serial_notes+=("COM$port = $name (back, now $device)")
            fi
            continue
        fi
        if [[ -z ${serial_pending[$name]:-} ]]; then serial_pending[$name]=1; continue; fi
        unset "serial_pending[$name]"
        serial_map "$name" "$device"
        if [[ $name == "$device" ]]; then
            serial_notes+=("COM$serial_mapped_port = $device (plugged in)")
        else
            serial_notes+=("COM$serial_mapped_port = $name (plugged in as $device)")
        fi
        problem=$(serial_access_problem "$device") || serial_notes+=("$problem")
    done < <(serial_adapter_names)
    for name in "${!serial_pending[@]}"; do [[ -n ${seen[$name]:-} ]] || unset "serial_pending[$name]"; done
    for port in $(printf '%s\n' "${!serial_name_of_port[@]}" | sort -n); do
        name=${serial_name_of_port[$port]}
        other=${serial_name_of_device[$name]:-}
        if [[ -z $other || $other == "$name" ]]; then
            unset "serial_cut_off[$port]"
        elif [[ -z ${serial_cut_off[$port]:-} ]]; then
            serial_cut_off[$port]=1
            serial_notes+=("COM$port = $name (unlinked while another adapter has that device: $other)")
        fi
    done
}

# What COM PORT's link points at now, in serial_link: its name, or nothing while that name is a
# device that an adapter with a by-id name has now (that adapter has a number of its own).
serial_link_of_port() {
    local -r name=${serial_name_of_port[$1]:-}
    serial_link=
    [[ -n $name ]] || return 0
    local -r now=${serial_name_of_device[$name]:-}
    if [[ -z $now || $now == "$name" ]]; then serial_link=$name; fi
}

# Makes the COM links in DIR (a Wine prefix's dosdevices) exactly this mapping, plus PORT -> TARGET
# when given (the launcher's demo). Wine's own port scan links every /dev/ttyS* it finds, the
# console included: such links go. A by-id link needs no change when its adapter returns.
serial_sync_links() {
    local -r dir=$1 extra_port=${2:-0} extra_target=${3:-}
    local link port target
    for link in "$dir"/com*; do
        [[ -L $link ]] || continue
        port=${link##*/com}
        if [[ ! $port =~ ^[0-9]+$ ]]; then
            target=
        elif ((port == extra_port)); then
            target=$extra_target
        else
            serial_link_of_port "$port"
            target=$serial_link
        fi
        [[ -n $target && $(readlink -- "$link") == "$target" ]] || rm -f -- "$link"
    done
    for port in "${!serial_name_of_port[@]}"; do
        serial_link_of_port "$port"
        [[ -z $serial_link || -L $dir/com$port ]] || ln -sfn -- "$serial_link" "$dir/com$port"
    done
    if ((extra_port)) && [[ ! -L $dir/com$extra_port ]]; then ln -sfn -- "$extra_target" "$dir/com$extra_port"; fi
    return 0
}

# COM PORT's line in the mapping: "NAME (now DEVICE)", or the device alone when mapped by it.
serial_port_text() {
    local -r name=${serial_name_of_port[$1]}
    local -r device=${serial_device_of_name[$name]}
    if [[ $name == "$device" ]]; then echo "$name"; else echo "$name (now $device)"; fi
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
