# Copies IN to OUT with CRLF line ends, as Windows text files have them
# (Notepad before Windows 10 1809 shows LF-only text as one line).
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
