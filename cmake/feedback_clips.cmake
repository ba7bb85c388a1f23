# The three built-in feedback clips: generated at build time by a small program and built into
# the library as data (symbols vt_clip_target, vt_clip_done, vt_clip_error).
if(CMAKE_CROSSCOMPILING)
  # The generator runs on the build machine: a cross build is given one built there.
  set(VT_CLIP_MAKER "" CACHE FILEPATH "make_feedback_clips built for the build machine")
  if(NOT VT_CLIP_MAKER)
    message(FATAL_ERROR "A cross build needs VT_CLIP_MAKER: resources/make_feedback_clips.cpp "
                        "built for the build machine")
  endif()
  set(clip_maker ${VT_CLIP_MAKER})
else()
  add_executable(make_feedback_clips
                 ${CMAKE_CURRENT_SOURCE_DIR}/resources/make_feedback_clips.cpp)
  vt_warnings(make_feedback_clips)
  set(clip_maker make_feedback_clips)
endif()

set(VT_CLIP_DIR ${CMAKE_CURRENT_BINARY_DIR}/resources)
set(VT_CLIPS ${VT_CLIP_DIR}/target_clip.wav ${VT_CLIP_DIR}/done_clip.wav
             ${VT_CLIP_DIR}/error_clip.wav)
add_custom_command(
  OUTPUT ${VT_CLIPS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VT_CLIP_DIR}
  COMMAND ${clip_maker} ${VT_CLIP_DIR}
  DEPENDS ${clip_maker}
  COMMENT "Generating the built-in feedback clips"
  VERBATIM)
add_custom_target(feedback_clips DEPENDS ${VT_CLIPS})
add_dependencies(vtg_objects feedback_clips)

vt_embed_file(vtg_objects vt_clip_target ${VT_CLIP_DIR}/target_clip.wav)
vt_embed_file(vtg_objects vt_clip_done ${VT_CLIP_DIR}/done_clip.wav)
vt_embed_file(vtg_objects vt_clip_error ${VT_CLIP_DIR}/error_clip.wav)
