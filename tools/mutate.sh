#!/usr/bin/env bash
# Mutation measure of the x64 test suite: see tools/mutate.py for what it does.
#   tools/mutate.sh [--sample N] [--seed S] [--only ID]... [--list [--all]] [--report] [--baseline]
exec python3 "$(dirname "$0")/mutate.py" "$@"
