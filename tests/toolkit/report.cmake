# Tests of the report toolkit.
dorvik_add_test(report_displaymask ${CMAKE_CURRENT_LIST_DIR}/DisplayMaskTest.cpp LIBS dorvik_toolkit)
