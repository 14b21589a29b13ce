# fish completion for wexel.
#
# Everything after "wexel" is a command line of its own, as after time or
# sudo: a program first, then whatever that program's own completion offers.
# wexel starts programs, never fish's builtins or functions, so the first
# word offers only commands on PATH, and paths.

function __wexel_complete
    set -l token (commandline -ct)
    if test (count (commandline -cop)) -gt 1
        __fish_complete_subcommand
    else if string match -q -- '*/*' $token
        complete -C "$token"
    else
        for candidate in (complete -C "$token")
            set -l name (string split -m 1 \t -- $candidate)[1]
            command -q -- $name; and printf '%s\n' $candidate
        end
    end
end

complete -c wexel -f -a '(__wexel_complete)'
