"""A small Flask application, 样本登记 (a sample register), as an author would
bring one to Lumivant: a page that lists samples and a form that adds one.
The samples live in samples.json in the data directory the launcher names."""

import json
import os
import threading

from flask import Flask, redirect, render_template, request, url_for

from labunits import format_mass

_lock = threading.Lock()


def create_app(data_directory):
    app = Flask(__name__)
    store = os.path.join(data_directory, "samples.json")

    def load():
        try:
            with open(store, encoding="utf-8") as f:
                return json.load(f)
        except (FileNotFoundError, ValueError):
            return []

    def save(samples):
        # Written beside and renamed over, so that a crash never leaves half a file.
        partial = store + ".partial"
        with open(partial, "w", encoding="utf-8") as f:
            json.dump(samples, f, ensure_ascii=False)
            f.flush()
            os.fsync(f.fileno())
        os.replace(partial, store)

    @app.get("/")
    def index():
        samples = [dict(s, mass=format_mass(s["milligrams"])) for s in load()]
        return render_template("index.html", samples=samples)

    @app.post("/samples")
    def add_sample():
        name = request.form.get("name", "").strip()
        try:
            milligrams = float(request.form.get("milligrams", ""))
        except ValueError:
            milligrams = None
        if name and milligrams is not None and milligrams >= 0:
            with _lock:
                samples = load()
                samples.append({"name": name, "milligrams": milligrams})
                save(samples)
        # Post, redirect, get: a reload does not add the sample twice.
        return redirect(url_for("index"), code=303)

    return app
