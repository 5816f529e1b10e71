#!/bin/sh
# The manual page and the bash completion of stickforge-cli against the tool's own --help,
# so that none of them drifts from the others: every verb of --help has its entry in the
# page and the page has no other; every option and environment variable of --help and every
# exit status the tool gives is described; the page renders without warnings and names the
# tool's version; the completion offers the verbs, sub-verbs, options and --set keys.
# Usage: cli_manual.sh CLI SOURCE-ROOT
set -u
cli=$1
page=$2/cli/stickforge-cli.1
completion=$2/cli/stickforge-cli.bash-completion
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$(dirname "$0")/check.sh"
export LC_ALL=C MANWIDTH=200

# The command words heading the lines of a list ("image create FILE SIZE  make..." gives
# "image create"), one command a line.
command_words() {
    awk '{
        line = $0
        sub(/^ +/, "", line)
        sub(/  .*/, "", line)
        n = split(line, word, " ")
        command = ""
        for (i = 1; i <= n && word[i] ~ /^[a-z][a-z0-9|-]*$/; i++)
            command = command (i > 1 ? " " : "") word[i]
        if (command != "") print command
    }' | sort -u
}
# The entry heads of the rendered page's sections matching a pattern ("OPTIONS|COMMANDS").
heads() {
    awk -v name="^($1)\$" '/^[A-Z]/ { inside = ($0 ~ name); next } inside' "$scratch/page" |
        grep "^       [^ ]"
}
# Whether a head of those sections matches a pattern.
described() { heads "$1" | grep -q -- "$2"; }

"$cli" --help >"$scratch/help"
awk '/^verbs:/ { inside = 1; next } /^[^ ]/ { inside = 0 } inside && /^  [^ ]/' \
    "$scratch/help" | command_words >"$scratch/help-commands"
man --warnings -l "$page" 2>"$scratch/warnings" | col -bx >"$scratch/page"
heads COMMANDS | command_words >"$scratch/page-commands"

check "--help lists verbs" test -s "$scratch/help-commands"
check "the page renders without warnings" test ! -s "$scratch/warnings"
check "every verb of --help has its entry, and the page no other" \
    diff "$scratch/help-commands" "$scratch/page-commands"
for option in $(grep -o -- '--[a-z][a-z-]*' "$scratch/help" | sort -u); do
    check "the page describes $option" described "OPTIONS|COMMANDS" "$option"
done
for variable in $(grep -o 'STICKFORGE_[A-Z_]*' "$scratch/help" | sort -u); do
    check "the page describes $variable" described ENVIRONMENT "^       $variable"
done

# The exit statuses the tool gives for success, a failure and a malformed command line.
"$cli" version >/dev/null 2>&1
success=$?
"$cli" eject 999 >/dev/null 2>&1
failure=$?
"$cli" frobnicate >/dev/null 2>&1
usage=$?
for status in $success $failure $usage; do
    check "exit status $status is described" described "EXIT STATUS" "^       $status "
done
version=$("$cli" version | sed 's/^Stickforge //')
check "the page names the version ($version)" grep -q "^\.TH .*\"Stickforge $version\"" "$page"

# The completion, as bash calls it: COMP_WORDS as typed so far, the last one being completed.
complete_words() {
    bash -c '. "$0"; compopt() { :; }; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _stickforge_cli; printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$cli" "$@" | sort
}
cut -d' ' -f1 "$scratch/help-commands" | sort -u >"$scratch/verbs"
complete_words "" >"$scratch/offered"
check "completion offers every verb" diff "$scratch/verbs" "$scratch/offered"
for verb in $(awk 'NF > 1 { print $1 }' "$scratch/help-commands" | sort -u); do
    awk -v verb="$verb" '$1 == verb { gsub(/\|/, "\n", $2); print $2 }' \
        "$scratch/help-commands" | sort >"$scratch/subverbs"
    complete_words "$verb" "" >"$scratch/offered"
    check "completion offers the sub-verbs of $verb" diff "$scratch/subverbs" "$scratch/offered"
done
complete_words --set "" >"$scratch/keys"
for key in FileSystem= Boot_records= SFKImageLocalRepo= SUCatalogURL= FixDsdtMask=; do
    check "completion offers the --set key $key" grep -qx "$key" "$scratch/keys"
done
check "completion offers no key --set refuses" sh -c "! grep -q '^ApplicationName=' '$scratch/keys'"
complete_words --s >"$scratch/options"
check "completion offers --save, --set and --sources for --s" \
    test "$(tr '\n' ' ' <"$scratch/options")" = "--save --set --sources "
finish
