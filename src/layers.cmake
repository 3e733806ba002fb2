# The rooms under src/ that build without Qt, lowest first, and the rooms
# each may include besides itself. The folder targets link exactly these, and
# check_layers.cmake fails the build on any other include. Nothing here may
# include sim/ or a front end.
set(SKYH_LAYERS core link protocol records data settings)
set(SKYH_LAYER_DEPS_core "")
set(SKYH_LAYER_DEPS_link core)
set(SKYH_LAYER_DEPS_protocol core link)
set(SKYH_LAYER_DEPS_records core)
set(SKYH_LAYER_DEPS_data core link protocol records)
set(SKYH_LAYER_DEPS_settings core link protocol records data)
# The front ends use every room, never sim/: app/ is the command-line tool,
# ui/ the window, main/ the window's entry point (which also runs the batch
# conversion without it). Each may use only the front ends listed for it, and
# only those in SKYH_QT_FRONT_ENDS may include Qt.
set(SKYH_FRONT_ENDS app ui main)
set(SKYH_FRONT_END_DEPS_app "")
set(SKYH_FRONT_END_DEPS_ui "")
set(SKYH_FRONT_END_DEPS_main ui)
set(SKYH_QT_FRONT_ENDS ui main)
