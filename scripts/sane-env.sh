# Sourced by the start and test scripts: SANE reads its configuration from the program's own folder
# first (the virtual test scanner next to the machine's backends) and then from the system's folders,
# which the trailing ':' keeps in the search. The system's configuration is left unchanged.
ZRK_SANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export SANE_CONFIG_DIR="$ZRK_SANE_ROOT/resources/sane:"
unset ZRK_SANE_ROOT
