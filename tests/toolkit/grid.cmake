# The data grid: sort marks, striping, footer sums, mouse presses; the child-window resize rule.
dorvik_add_test(tst_datagrid tst_datagrid.cpp LIBS dorvik_toolkit dorvik_sql)
