// velmoro-downloader-cli doctor: why a port will not open, and what to do.
