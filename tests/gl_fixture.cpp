#include "gl_fixture.h"

#include <string.h>
#include <unistd.h>

#include <random>

// ---------------------------------------------------------------- types ----

// Closes the window and GLFW once all tests have run. Left to the process's
// exit, the GL library's destructor unloads the driver while Mesa's
// rasterizer threads (llvmpipe's, of the still living context) are running,
// and one that wakes then runs unmapped code: a SIGSEGV after the tests
// passed, seen in about one run in twenty with Mesa 25. Destroying the
// context first joins those threads.
class GlTeardown : public ::testing::Environment {
   public:
    void TearDown() override;
};

// ---------------------------------------------------------------- state ----

static bool window_ready;
static bool graphics_ready;
static ::testing::Environment *const teardown = ::testing::AddGlobalTestEnvironment(new GlTeardown);

// ------------------------------------------------------------ functions ----

void captureBegin(StderrCapture *capture) {
    fflush(stderr);
    capture->saved = dup(fileno(stderr));
    capture->file = tmpfile();
    dup2(fileno(capture->file), fileno(stderr));
}

std::string captureEnd(StderrCapture *capture) {
    fflush(stderr);
    dup2(capture->saved, fileno(stderr));
    close(capture->saved);
    std::string text;
    rewind(capture->file);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), capture->file)) > 0) text.append(buffer, n);
    fclose(capture->file);
    return text;
}

std::filesystem::path makeScratchDir(const char *prefix) {
    std::random_device seed;
    for (int tries = 0; tries < 100; tries++) {
        std::filesystem::path name =
            std::filesystem::temp_directory_path() / (prefix + std::to_string(seed()));
        std::error_code error;
        if (std::filesystem::create_directory(name, error)) return name;
    }
    return std::filesystem::path();
}

static void setDefaultSettings(int width, int height) {
    vsync = 0;
    fps_limit = 0;
    msaa_level = 0;
    aniso_level = 16;
    shadow_smooth = 1;
    win_width = width;
    win_height = height;
}

// Says on the test's output why no window could be had.
static void reportGlfwError(int code, const char *description) {
    ADD_FAILURE() << "GLFW Error " << code << ": " << description;
}

bool glWindowOpen(int width, int height) {
    if (window_ready) return true;
    setDefaultSettings(width, height);
    glfwSetErrorCallback(reportGlfwError);
    windowPlatformHint();
    if (!glfwInit()) return false;
    glContextHints();
    windowHints();
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window = glfwCreateWindow(width, height, "Knoll test", NULL, NULL);
    if (!window) return false;
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);
    window_ready = true;
    return true;
}

// glfwTerminate destroys every window left, whoever made it.
void GlTeardown::TearDown() {
    if (!window_ready) return;
    glfwTerminate();
    window = nullptr;
    window_ready = graphics_ready = false;
}

bool graphicsReady(void) {
    if (graphics_ready) return true;
    if (!glWindowOpen()) return false;
    if (graphicsInit() != 0) return false;
    int width, height;
    glfwGetFramebufferSize(window, &width, &height);
    graphicsViewport(width, height);
    graphics_ready = true;
    return true;
}

Rgb readPixel(int x, int y) {
    unsigned char px[4] = {0, 0, 0, 0};
    useFramebuffer(0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, view_hei - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return {px[0], px[1], px[2]};
}

void readBuffer(GLenum target, GLintptr offset, GLsizeiptr size, void *out) {
    const void *data = glMapBufferRange(target, offset, size, GL_MAP_READ_BIT);
    if (data) memcpy(out, data, (size_t)size);
    glUnmapBuffer(target);
}

void readTextureRect(GLuint texture, int x, int y, int w, int h, GLenum format, GLenum type,
                     void *out) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    GLuint fbo;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, w, h, format, type, out);
    // Put the read binding back where the bind cache believes it is.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)previous);
    glDeleteFramebuffers(1, &fbo);
}

std::vector<Moments> readMomentRect(GLuint texture, int x, int y, int w, int h) {
    std::vector<Moments> out((size_t)w * h);
    readTextureRect(texture, x, y, w, h, GL_RG, GL_FLOAT, out.data());
    return out;
}

void readMoments(GLuint texture, int x, int y, float *m1, float *m2) {
    Moments texel = readMomentRect(texture, x, y, 1, 1)[0];
    *m1 = texel.m1;
    *m2 = texel.m2;
}
