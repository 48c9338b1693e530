# The main window: menus and their states, child windows, the piece-work checks, the ending paths;
# backup and restore on a real database.
dorvik_add_test(tst_mainwin tst_mainwin.cpp LIBS dorvik_shell)
dorvik_add_test(tst_backup tst_backup.cpp LIBS dorvik_shell)
