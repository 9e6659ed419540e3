// Fendrake's stand-in for the tour viewer's page script. The browser viewer
// runtimes (the Flash movie and the Java applet) are not part of Fendrake;
// this script shows what the page would load and the tour's values.
function QuorvaneTourPage(id, runtime, parameterFile) {
    var box = document.getElementById(id);
    if (!box) return;
    box.setAttribute("data-runtime", runtime);
    box.setAttribute("data-parameters", parameterFile);
    if (typeof g_numVista != "undefined") box.setAttribute("data-vistas", g_numVista);
    var note = document.createElement("p");
    note.textContent = "The tour viewer runtime (" + runtime + ") is not included with Fendrake. " +
        "Place the viewer runtime beside this page to show the tour.";
    box.appendChild(note);
}
