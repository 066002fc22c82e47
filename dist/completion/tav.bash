# Bash completion of tavctl, tav-sim-daemon and tav-info.
#
# The words come from the programs' own --help, asked at completion time:
# the options of the current command, the alternatives of the usage line
# ("teacher|student") and the commands a help text lists ("  name  summary").
# So completion always matches the installed programs, and nothing but
# listed words is ever passed to them.

# _tav_help WORD...: the help text of that command line (nothing on error).
_tav_help() {
    "$@" --help 2>/dev/null
}

# _tav_options HELP: one "--name VALUE" line per option ("--name " for a flag).
_tav_options() {
    sed -n 's/^  \(-[a-zA-Z], \)\{0,1\}\(--[a-z][-a-z]*\)\( \([^ ]*\)\)\{0,1\}.*$/\2 \4/p' <<<"$1"
}

# _tav_value OPTIONS NAME: the value name of option NAME (nothing for a flag).
_tav_value() {
    awk -v name="$2" '$1 == name { print $2 }' <<<"$1"
}

# _tav_words HELP: the words a positional argument may be here.
_tav_words() {
    # Alternatives in the usage line, e.g. teacher|student.
    local usage=${1%%$'\n'*} w
    for w in $usage; do
        [[ $w =~ ^[a-z]+(\|[a-z]+)+$ ]] && printf '%s\n' "${w//|/$'\n'}"
    done
    # Commands listed one a line with their summary.
    sed -n 's/^  \([a-z][-a-z]*\)  .*$/\1/p' <<<"$1"
}

_tav_complete() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local -a context=("${COMP_WORDS[0]}")
    COMPREPLY=()
    local help options words word value next i
    help=$(_tav_help "${context[@]}")
    options=$(_tav_options "$help")
    words=$(_tav_words "$help")
    # Walk the words before the cursor: options (and their values) are
    # skipped, a listed word opens the next level of help.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -* ]]; then
            value=$(_tav_value "$options" "$word")
            [[ -n $value && $word != *=* ]] && ((i++))
        elif grep -qxF -- "$word" <<<"$words"; then
            context+=("$word")
            next=$(_tav_help "${context[@]}")
            # The same help again (a mode word): no more positional words.
            [[ $next == "$help" ]] && words="" || words=$(_tav_words "$next")
            help=$next
            options=$(_tav_options "$help")
        else
            return  # a word the program does not take: nothing to offer
        fi
    done

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(cut -d' ' -f1 <<<"$options")" -- "$cur")
        return
    fi
    # The value of the option before the cursor.
    if ((COMP_CWORD > 1)) && [[ ${COMP_WORDS[COMP_CWORD - 1]} == --* ]]; then
        value=$(_tav_value "$options" "${COMP_WORDS[COMP_CWORD - 1]}")
        case $value in
            "") ;;
            FILE | PATH) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
            DIR) mapfile -t COMPREPLY < <(compgen -d -- "$cur"); return ;;
            *\|*) mapfile -t COMPREPLY < <(compgen -W "${value//|/ }" -- "$cur"); return ;;
            *) return ;;
        esac
    fi
    mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
}

complete -F _tav_complete tavctl tav-sim-daemon tav-info
