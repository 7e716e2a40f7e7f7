# Boost is used header-only (Asio, System, Format, string algorithms).
# Cross building on Debian, the host's headers serve the MinGW compiler through a folder that holds
# only a link to them: putting /usr/include itself on the cross compiler's path would mix in the
# host's C library headers.
set(DROVANE_BOOST_ROOT "" CACHE PATH "Folder holding boost/ (empty: find it)")
add_library(drovane_boost INTERFACE)
if(DROVANE_BOOST_ROOT)
  target_include_directories(drovane_boost SYSTEM INTERFACE ${DROVANE_BOOST_ROOT})
elseif(CMAKE_CROSSCOMPILING AND EXISTS /usr/include/boost/version.hpp)
  set(link_dir ${CMAKE_BINARY_DIR}/boost-include)
  file(MAKE_DIRECTORY ${link_dir})
  file(CREATE_LINK /usr/include/boost ${link_dir}/boost SYMBOLIC)
  target_include_directories(drovane_boost SYSTEM INTERFACE ${link_dir})
else()
  find_package(Boost 1.66 REQUIRED)
  target_link_libraries(drovane_boost INTERFACE Boost::headers)
endif()
