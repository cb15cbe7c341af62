# The layers of the program, bottom first, and the layers each one may use.
# A layer is a folder with a library target of its own (ostrel_<layer>) that
# links exactly the layers listed here; cmake/check_layers.cmake refuses an
# include of any other layer's header. docs/architecture.md draws this table.
set(OSTREL_LAYERS core platform sim adapter devices avr image dialogs app ui)
set(OSTREL_LAYER_USES_core)
set(OSTREL_LAYER_USES_platform core)
set(OSTREL_LAYER_USES_sim      core platform)
set(OSTREL_LAYER_USES_adapter  core platform)
set(OSTREL_LAYER_USES_devices  core platform)
set(OSTREL_LAYER_USES_avr      core platform adapter devices)
set(OSTREL_LAYER_USES_image    core platform adapter devices avr)
set(OSTREL_LAYER_USES_dialogs  core platform adapter devices avr image)
set(OSTREL_LAYER_USES_app      core platform sim adapter devices avr image dialogs)
# What the front-ends that draw windows share, free of any toolkit: the
# control tables, the menu, the window frames and the rules of the busy state.
set(OSTREL_LAYER_USES_ui       core platform sim adapter devices avr image dialogs app)
# The front-ends sit on top of every layer; none includes another. win32/ is
# the native Windows desktop program, built only for Windows.
set(OSTREL_FRONT_ENDS cli qt win32)
set(OSTREL_LAYER_USES_cli   ${OSTREL_LAYERS})
set(OSTREL_LAYER_USES_qt    ${OSTREL_LAYERS})
set(OSTREL_LAYER_USES_win32 ${OSTREL_LAYERS})
