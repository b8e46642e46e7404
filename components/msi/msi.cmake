# The runtime as an MSI for deployment tools: the custom-action library it carries.
add_library(qmmsica SHARED components/msi/custom_actions.cpp components/msi/qmmsica.def base/win/runtime_unload.cpp)
set_target_properties(qmmsica PROPERTIES PREFIX "")
target_link_options(qmmsica PRIVATE -Wl,--kill-at)
target_link_libraries(qmmsica PRIVATE msi)
