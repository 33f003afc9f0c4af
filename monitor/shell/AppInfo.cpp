// placeholder translation unit so the shell library has a source
namespace tarnwatch {}
