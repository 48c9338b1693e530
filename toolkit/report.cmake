# The banded report engine, its painting and its print preview.
target_sources(dorvik_toolkit PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ReportEngine.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportEngine.h
  ${CMAKE_CURRENT_LIST_DIR}/ReportPreview.cpp ${CMAKE_CURRENT_LIST_DIR}/ReportPreview.h
)
