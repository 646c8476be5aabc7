/* Drives libfolvane-engine.so through its C header only: a document with text, a line, a
 * bookmark and document information, then the image queries without a document.
 * Usage: capi_test OUTPUT.pdf; exits 0 when every call answered as documented. */
#include <folvane/engine.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int h = CreateDocument(argv[1]);
    expect(h > 0, "CreateDocument");
    expect(CreateDocument(argv[1]) == 0, "second open of the same path refused");
    expect(SetDocumentInfo(h, "C title", NULL, "C author", NULL, NULL) == 1, "SetDocumentInfo");
    expect(SetDocumentOption(h, FOLVANE_PAGE_SIZE, 300, 200, NULL, NULL) == 1, "page size");
    expect(SetDocumentOption(h, FOLVANE_BOOKMARK_TEXT, 0, 0, "From C", NULL) == 1, "bookmark");
    expect(DrawText(h, 20, 20, "Hello from C", 0x0000FF) == 1, "DrawText");
    expect(DrawLine(h, 10, 100, 290, 100, 3, 0) == 1, "DrawLine");
    expect(QueryDocument(h, FOLVANE_TEXT_HEIGHT, 0, 12, "a\nb", NULL) == 32, "text height input values");
    expect(AddImageFile(h, "/nonexistent/image.png") <= 0, "missing image fails");
    int width = 0, height = 0;
    expect(QueryDocument(0, FOLVANE_PIXEL_SIZE, (intptr_t)&width, (intptr_t)&height, "/nonexistent.jpg", NULL) == 0,
           "pixel size of a missing file");
    expect(CloseDocument(h) == 1, "CloseDocument");
    expect(CloseDocument(h) == 0, "closed handle is unknown");

    int appended = OpenDocumentForAppend(argv[1]);
    expect(appended > 0, "OpenDocumentForAppend on our own file");
    expect(DrawText(appended, 20, 20, "Second page", 0) == 1, "text on the appended page");
    expect(CloseDocument(appended) == 1, "close the update");
    return failures ? 1 : 0;
}
