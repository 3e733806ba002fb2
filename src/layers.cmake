# The rooms under src/ that build without Qt, lowest first, and the rooms
# each may include besides itself. The folder targets link exactly these, and
# check_layers.cmake fails the build on any other include. Nothing here may
# include sim/, app/ or ui/.
set(SKYH_LAYERS core link protocol records data settings)
set(SKYH_LAYER_DEPS_core "")
set(SKYH_LAYER_DEPS_link core)
set(SKYH_LAYER_DEPS_protocol core link)
set(SKYH_LAYER_DEPS_records core)
set(SKYH_LAYER_DEPS_data core link protocol records)
set(SKYH_LAYER_DEPS_settings core link protocol records data)
# The front ends use every room and each other (the window's entry point is
# in app/), and Qt, but never sim/.
set(SKYH_FRONT_ENDS app ui)
