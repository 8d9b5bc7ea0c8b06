#!/usr/bin/env bash
# The program's hardening as Debian's hardening-check sees it, read line by
# line rather than by its exit status, which also counts another processor's
# feature and lines it cannot tell from the program alone. Each line reads
# yes, or says why not:
# - stack clash protection reads unknown where no function has a frame large
#   enough to need probes, and always on arm64 (it knows x86_64's only);
# - the processor's control-flow note (x86_64: IBT, SHSTK; arm64: BTI, PAC)
#   is missing where the C start files lack it: the linker marks a program
#   only when every object it links carries the note.
# For those the compiler's record of its flags in the debug information must
# show the flag in every part of the program; a build without debug
# information says so in one line and leaves them unchecked.
# Usage: hardening.sh PROGRAM COMPILER
set -euo pipefail
program=$1
compiler=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case $(readelf -h "$program" | sed -n 's/^ *Machine: *//p') in
    "Advanced Micro Devices X86-64")
        processor=x86_64 own="Control flow integrity" other="Branch Protection"
        own_flag=-fcf-protection own_note="x86 feature: IBT, SHSTK"
        unprobed="probes are made only in functions whose frames are large enough" ;;
    AArch64)
        processor=arm64 own="Branch Protection" other="Control flow integrity"
        own_flag=-mbranch-protection=standard own_note="AArch64 feature: BTI, PAC"
        unprobed="hardening-check looks for x86_64 probe instructions only" ;;
    *) fail "$program is built for a processor this test knows no hardening of" ;;
esac

flags=(-fstack-protector-strong -fstack-clash-protection "$own_flag")
producers=$(readelf --debug-dump=info "$program" | grep "DW_AT_producer") || true
if [[ -n $producers ]]; then
    for flag in "${flags[@]}"; do
        without=$(grep -c -v -e " $flag" <<<"$producers") || true
        ((without == 0)) || fail "$without parts of $program were compiled without $flag"
    done
    echo "$(wc -l <<<"$producers") parts of the program compiled with ${flags[*]}"
else
    echo "no debug information in $program (built without -g): whether every part was compiled with" \
         "-fstack-clash-protection and $own_flag cannot be read, so those two are not checked"
fi

unmarked_start_files() {
    local file
    for file in Scrt1.o crti.o crtbeginS.o crtendS.o crtn.o; do
        readelf -n "$("$compiler" -print-file-name="$file")" | grep -q "$own_note" || echo -n " $file"
    done
}

devscripts=$(dpkg-query -W -f '${Version}' devscripts)
report=$(hardening-check "$program") || true
checked=()
while IFS= read -r line; do
    [[ $line =~ ^\ ([^:]+):\ (.*)$ ]] || continue
    name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    checked+=("$name")
    if [[ $name == "$other" ]]; then
        echo "$name: $value: not a feature of $processor programs"
    elif [[ $value == yes* ]]; then
        continue
    elif [[ $name == "Stack clash protection" && $value == unknown* ]]; then
        [[ -z $producers ]] || echo "$name: $value: $unprobed"
    elif [[ $name == "$own" && $value == no* ]]; then
        unmarked=$(unmarked_start_files)
        [[ -n $unmarked ]] || fail "$line, though the C start files carry the $own_note note"
        echo "$name: $value: the C start files$unmarked carry no $own_note note"
    else
        fail "hardening-check (devscripts $devscripts):"$'\n'"$report"
    fi
done <<<"$report"
for name in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
            "Read-only relocations" "Immediate binding" "Stack clash protection"; do
    [[ " ${checked[*]} " == *" $name "* ]] || fail "hardening-check has no line $name:"$'\n'"$report"
done
[[ " ${checked[*]} " == *" $own "* ]] || echo "hardening-check of devscripts $devscripts has no line $own"
echo "hardening-check (devscripts $devscripts): each of its ${#checked[@]} lines as this program has it; passed"
