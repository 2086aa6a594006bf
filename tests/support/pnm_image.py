"""Binary PGM and PPM files as scanimage and pdfimages write them."""


def read_pnm(path):
    """(magic, width, height, maxval, samples) of a binary PNM; comment
    lines in the header (scanimage's "# SANE data follows") are skipped."""
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    return fields[0], int(fields[1]), int(fields[2]), int(fields[3]), data[at + 1:]
