* Batch demo: draw on the page and keep it as a display-list file.
enable print demo.meta
print
disable print
