#!/bin/sh
# Fails when the shared library exports any symbol outside namespace mivo.
set -eu
nm=$1 library=$2
symbols=$("$nm" -D --defined-only -C "$library" | cut -d' ' -f3-)
[ -n "$symbols" ] || { echo "no exported symbols in $library"; exit 1; }
leaks=$(printf '%s\n' "$symbols" | grep -vE '^((typeinfo|typeinfo name|vtable) for )?mivo::' || true)
if [ -n "$leaks" ]; then
  echo "exported outside namespace mivo:"
  printf '  %s\n' "$leaks"
  exit 1
fi
echo "$(printf '%s\n' "$symbols" | wc -l) symbols, all in namespace mivo"
