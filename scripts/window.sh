# What the demo, the end-to-end tests and the benchmarks know of the updater from outside
# (sourced, not run): its window and a stand-in for the main program it starts.

MAIN_TITLE="Aggiorna versione di QUNA" # the main window
# Height in pixels of the caption bar the window draws above its client area: a position in
# the client area is that much below the window's top.
CAPTION_HEIGHT=${CAPTION_HEIGHT:-24}
# Client-area rectangles (left, top, right, bottom in pixels) of the buttons scripts click:
# the layout's twips divided by 15.
ELABORA=(292 474 393 531)
ESCI=(424 472 525 529)

# stand_in_main_program VERSION FILE: a stand-in for Quna.exe that says which version it is
# and notes each start in started.log beside itself.
stand_in_main_program() {
    cat >"$2" <<END
#!/bin/sh
here=\$(cd "\$(dirname "\$0")" && pwd)
echo "QUNA avviato, versione $1"
echo "\$(date '+%Y-%m-%d %H:%M:%S') QUNA $1 avviato" >> "\$here/started.log"
END
    chmod +x "$2"
}
